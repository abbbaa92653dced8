#pragma once

// Precondition warnings name the plain operation, as they do in C: under C++ GLib would
// print the whole signature.
#include <glib.h>

#undef G_STRFUNC
#define G_STRFUNC (static_cast<const char *>(__func__))
