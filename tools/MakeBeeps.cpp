// Placeholder until the recording writer exists: writes empty prompt files.
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::filesystem::create_directories(argv[1]);
    std::ofstream(std::filesystem::path(argv[1]) / "beep1.wav");
    std::ofstream(std::filesystem::path(argv[1]) / "beep3.wav");
    return 0;
}
