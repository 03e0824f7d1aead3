// A fresh folder for one test, removed with everything in it afterwards.
#pragma once
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // The path of name inside the folder.
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

}  // namespace testsupport
