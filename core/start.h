// The application's start: what the monitor calls, and main.
#pragma once

// The start routine: runs main and hands its result back to the monitor.
[[noreturn]] void AppStart();
int AppMain(int argc, char** argv);
