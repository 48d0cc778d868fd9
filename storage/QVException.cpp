#include "storage/QVException.h"

// The exception classes are header-only; this unit anchors them in the library.
