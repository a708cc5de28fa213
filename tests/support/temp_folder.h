// A fresh folder under the system's temporary folder for one test, removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace testing_support {

class TempFolder {
  public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tavi-test-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) != nullptr)
            path_ = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::filesystem::path &path() const { return path_; }
    // The folder as the program keeps data folders: with its separator at the end.
    std::string folder() const { return path_.string() + "/"; }

    std::string write(const std::string &name, const std::string &content) const {
        const auto p = path_ / name;
        std::ofstream out(p, std::ios::binary);
        out << content;
        return p.string();
    }

  private:
    std::filesystem::path path_;
};

} // namespace testing_support
