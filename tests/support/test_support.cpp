// Test helpers; see test_support.h.
#include "test_support.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace test {

TempDir::TempDir() {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tamsel-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    m_path = buf.data();
}

TempDir::~TempDir() {
    Shell("chmod -R u+rwx " + Q(m_path) + " 2>/dev/null; rm -rf " + Q(m_path));
}

std::vector<std::string> TempDir::List(const std::string& sub) const {
    std::vector<std::string> names;
    std::string dir = sub.empty() ? m_path : m_path + "/" + sub;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return "<missing: " + path + ">";
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

int Shell(const std::string& command) {
    int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

int RunPython(const TempDir& dir, const std::string& script, const std::string& args) {
    WriteFile(dir / "make.py", script);
    return Shell("/usr/bin/python3 " + Q(dir / "make.py") + " " + args);
}

std::string ShellOutput(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

std::string Filtered(const std::string& input, const std::string& command) {
    TempDir dir;
    WriteFile(dir / "input", input);
    return ShellOutput("(" + command + ") < " + Q(dir / "input"));
}

int OpenFilesIn(const std::string& dir) {
    std::string real = std::filesystem::canonical(dir).string();
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (!ec && target.rfind(real + "/", 0) == 0) ++count;
    }
    return count;
}

std::string Q(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

Library::Library() {
    lib.Initialize();
    lib.SetMsgCallback(this, [](void* opaque, const char* text, int level) {
        static_cast<Library*>(opaque)->messages.emplace_back(level, text);
    });
}

int Library::LoadAll(const std::vector<std::string>& paths, std::vector<int>& results) {
    std::vector<const char*> list;
    for (const std::string& p : paths)
        list.push_back(p.c_str());
    results.assign(list.size(), -1);
    return lib.LoadFiles(list.data(), static_cast<int>(list.size()), results.data());
}

int Library::DecodeAll(const std::vector<const codec::FileRecord*>& records,
                       std::vector<int>& results) {
    results.assign(records.size(), -1);
    return lib.DecodeFiles(records.data(), static_cast<int>(records.size()), results.data());
}

std::vector<const codec::FileRecord*> Library::Records() const {
    std::vector<const codec::FileRecord*> out;
    for (int i = 0; const codec::FileRecord* r = lib.GetFileListItem(i); ++i)
        out.push_back(r);
    return out;
}

const codec::FileRecord* Library::Named(const std::string& name) const {
    for (const codec::FileRecord* r : Records())
        if (r->name && name == r->name) return r;
    return nullptr;
}

std::string Library::AllMessages() const {
    std::string all;
    for (const auto& [level, text] : messages)
        all += std::to_string(level) + ": " + text + "\n";
    return all;
}

std::vector<std::string> SplitLines(const std::string& text, size_t lines) {
    std::vector<std::string> pieces;
    std::string cur;
    size_t count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        cur.append(text, pos, end - pos);
        pos = end;
        if (++count == lines) {
            pieces.push_back(cur);
            cur.clear();
            count = 0;
        }
    }
    if (!cur.empty()) pieces.push_back(cur);
    return pieces;
}

std::string OutputForDuringLoad(Library& t, const TempDir& dir, int during) {
    std::string out = dir / ("out" + std::to_string(during));
    Shell("rm -rf " + Q(out) + " && mkdir " + Q(out));
    t.OutputTo(out);
    t.lib.SetOption(codec::kOptDecodeDuringLoad, during, nullptr);
    return out;
}

}  // namespace test
