// Test isolation: a fresh temporary folder, and a scope that points HOME and the XDG folders into
// it so no test ever reads or writes the real user's files.
#ifndef TONVERA_TESTS_SUPPORT_TEMPHOME_H
#define TONVERA_TESTS_SUPPORT_TEMPHOME_H

#include <map>
#include <optional>
#include <string>

namespace testsupport {

// A temporary folder removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Sets HOME, XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_CACHE_HOME below a TempDir for its lifetime
// and restores the previous values afterwards.
class TempHome {
  public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::string& home() const { return dir_.path(); }
    std::string dataHome() const { return dir_.path() + "/.local/share"; }
    std::string configHome() const { return dir_.path() + "/.config"; }

  private:
    void set(const char* name, const std::string& value);
    TempDir dir_;
    std::map<std::string, std::optional<std::string>> saved_;
};

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);

}  // namespace testsupport

#endif
