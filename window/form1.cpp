// Form1's caption.
#include "form1.h"

std::string Form1Caption(const Version& version) {
    return "Vellumine  v" + std::to_string(version.major_number) + "." +
           std::to_string(version.minor_number) + "." + std::to_string(version.revision);
}
