// Reads back what the process's console shows, for the console-on test build.
#pragma once

#include <cstddef>
#include <string>

// Makes the test process like the host, a window program without a console, so that
// the plug-in's console is the first one the process opens.
void detachInheritedConsole();

std::string consoleTitle();

// `length` characters from column x, row y on, as the console holds them (a real
// console continues on the next row; never-written cells read as blanks).
std::string consoleText(int x, int y, std::size_t length);
