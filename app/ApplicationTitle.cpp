#include "app/ApplicationTitle.h"

std::string& ApplicationTitle() {
    static std::string title = "Updater";
    return title;
}

std::string TitleFromExecutablePath(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto point = name.rfind('.');
    if (point != std::string::npos) {
        name.erase(point);
    }
    return name;
}
