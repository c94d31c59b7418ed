// The program's entry: version and title, single instance, the main window and the message loop.
#pragma once

#include <string>

// The version values of the program file as AppVersion and AppTitle; nothing is raised.
void ReadAppVersion(const std::string& programFile);
int ProgramMain(int argc, char** argv);
