#include "app/tone.h"
