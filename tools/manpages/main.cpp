// Build-time program: writes the manual pages and the bash completion of the programs from the
// option descriptions their --help prints. Usage: manpages DIRECTORY
#include "BashCompletion.h"
#include "ManualPages.h"

#ifdef MENDRIX_WINDOW_OPTIONS
#include "app/WindowOptions.h"
#endif

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

void Write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: manpages DIRECTORY\n";
        return 2;
    }
    try {
        const std::filesystem::path dir = argv[1];
        std::filesystem::create_directories(dir);
        Write(dir / "mendrix-cli.1", manpages::CliManualPage(MENDRIX_VERSION));
        Write(dir / "mendrix-cli.bash", manpages::CliBashCompletion());
#ifdef MENDRIX_WINDOW_OPTIONS
        Write(dir / "mendrix.1",
              manpages::WindowManualPage(MENDRIX_VERSION, app::WindowDescription(),
                                         app::WindowSyntax()));
#endif
    } catch (const std::exception& e) {
        std::cerr << "manpages: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
