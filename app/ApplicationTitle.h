// The application title: the caption of the failure box and of the main window.
#pragma once

#include <string>

// The title held for the whole run; "Updater" until the main window replaces it.
std::string& ApplicationTitle();

// The executable's file name without folder and without extension: everything from the last
// point of the file name on is dropped; a name without a point stays whole.
std::string TitleFromExecutablePath(const std::string& path);
