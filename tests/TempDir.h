#pragma once
// A fresh folder for one test, removed with everything in it when the test ends.
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "kestrel-test-XXXXXX").string();
        char* made = mkdtemp(templ.data());
        if (!made) throw std::runtime_error("mkdtemp failed");
        m_path = made;
    }
    ~TempDir() {
        std::error_code ec;
        // Restore permissions a test may have taken away before removing.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_path, std::filesystem::directory_options::skip_permission_denied, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            // Not through a link: what it leads to may lie outside (a test's link to a device).
            if (it->is_symlink(ec)) continue;
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + rel
    std::string operator/(const std::string& rel) const { return m_path + "/" + rel; }

    // Creates the folders leading to rel and writes the file.
    std::string Write(const std::string& rel, const std::string& content) const {
        std::filesystem::path p = std::filesystem::path(m_path) / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::string MakeDir(const std::string& rel) const {
        std::filesystem::path p = std::filesystem::path(m_path) / rel;
        std::filesystem::create_directories(p);
        return p.string();
    }

    // Makes each entry under folder: a name ending in "/" a folder, any other a file of content.
    void Lay(const std::string& folder, const std::vector<std::string>& entries,
             const std::string& content = "x") const {
        for (const std::string& e : entries) {
            if (!e.empty() && e.back() == '/')
                MakeDir(folder + e.substr(0, e.size() - 1));
            else
                Write(folder + e, content);
        }
    }

private:
    std::string m_path;
};

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file's modification time, or -1 when there is no file.
inline std::time_t ModTime(const std::string& path) {
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec) return -1;
    return std::chrono::system_clock::to_time_t(
        std::chrono::file_clock::to_sys(time));
}

// The names of the folder's entries, hidden and scratch files included.
inline std::set<std::string> EntryNames(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// Sets an environment variable for the scope of a test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_had) setenv(m_name.c_str(), m_old.c_str(), 1);
        else unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};
