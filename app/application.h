// The window program: its start-up sequence and the window system's callbacks.
#pragma once

// Builds the figure at rest, opens the window, loads the pictures from the
// working directory and hands control to the event loop; never returns.
void runApplication(int argc, char** argv);
