// Planted: an upward and a sideways include, each of which the check must name.
#include "app/Main.h"
#include "../programmer/frmMain.h"
#include "Uses.h"
