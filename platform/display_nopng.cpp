/* Builds without libpng (the PowerPC one) cannot save pictures. */
#include "display.h"

BOOL ovSaveWindowPNG(struct Window *, const char *) { return FALSE; }
