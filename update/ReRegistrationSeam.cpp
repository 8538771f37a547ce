#include "update/ReRegistrationSeam.h"

// Alone in its file, so that a test program's own definition takes its place at link time.
void ReRegistrationReached() {}
