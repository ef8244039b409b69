#pragma once

// The window's font, registered once per process before the window is built.
void registerWindowFont();
