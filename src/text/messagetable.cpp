#include "text/messagetable.h"
