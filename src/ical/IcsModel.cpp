#include "IcsModel.h"

#include "IcsText.h"

namespace larkspur::ics {

std::string classForSensitivity(int sensitivity)
{
    switch (sensitivity) {
    case 1: return "PERSONAL";
    case 2: return "PRIVATE";
    case 3: return "CONFIDENTIAL";
    default: return "PUBLIC";
    }
}

int sensitivityForClass(const std::string &classValue)
{
    const std::string c = upper(classValue);
    if (c == "PERSONAL")
        return 1;
    if (c == "PRIVATE")
        return 2;
    if (c == "CONFIDENTIAL")
        return 3;
    return 0;
}

} // namespace larkspur::ics
