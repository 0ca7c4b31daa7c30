#include "Module.h"

CAppModule _Module;
