#include "support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static unsigned serial = 0;
    const auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            base / ("suite-test-" + std::to_string(seed % 1000000007ULL) + "-" + std::to_string(++serial));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(path_, error);
}

// Names are UTF-8, as the programs take them.
std::string TempDir::file(const std::string& name) const { return (fs::path(path_) / fs::u8path(name)).u8string(); }

}  // namespace testsupport
