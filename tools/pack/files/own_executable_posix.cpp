#include "files/own_executable.h"

#include <filesystem>

std::string OwnExecutablePath() {
    std::error_code error;
    std::filesystem::path own = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : own.string();
}
