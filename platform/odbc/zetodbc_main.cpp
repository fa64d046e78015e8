// libzetodbc.so: the bridge's code is linked in whole from its static
// library; this file only gives the shared library an object of its own.
#include "platform/odbc/zetodbc.h"
