#include <windows.h>

#include "launcher/main_sequence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return RunMainSequence(instance, showCommand);
}
