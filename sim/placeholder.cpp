// Keeps the library non-empty until the simulated modules land.
