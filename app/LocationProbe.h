// What Windows tells the location check: the program file's path and a drive's type.
#pragma once

#include <string>

#include "run/Location.h"

class CLocationProbe : public ILocationProbe {
public:
    // Empty when the path does not fit the platform's 260-unit limit.
    std::u16string ProgramPath() override;
    bool IsRemovableDrive(const std::u16string& driveRoot) override;
};
