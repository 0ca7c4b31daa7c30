// The program's one application module.
#pragma once

#include "AppModule.h"

extern CAppModule _Module;
