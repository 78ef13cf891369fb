// The FILE arguments of check and decode; see inputs.h.
#include "inputs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "codec/codec_library.h"

namespace tamsel {

namespace {

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

std::string Join(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool AllDigits(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct Entry {
    std::string name;
    struct stat st;  // of the entry itself, not what a link leads to
};

// The entries of a directory in natural order; false with errno when it cannot be read.
bool List(const std::string& dir, std::vector<Entry>& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    errno = 0;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        Entry entry{name, {}};
        if (fstatat(dirfd(d), name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) == 0)
            out.push_back(std::move(entry));
        errno = 0;
    }
    int err = errno;
    closedir(d);
    std::sort(out.begin(), out.end(),
              [](const Entry& a, const Entry& b) { return NaturalLess(a.name, b.name); });
    errno = err;
    return err == 0;
}

bool IsMaildir(const std::string& dir) {
    return IsDirectory(Join(dir, "cur")) && IsDirectory(Join(dir, "new"));
}

// An MH folder (or a news spool's group directory): its mails are the files named by
// numbers. Known by its sequences file, or by holding no other files.
bool IsMhFolder(const std::vector<Entry>& entries) {
    bool numbered = false, other = false, sequences = false;
    for (const Entry& e : entries) {
        if (!S_ISREG(e.st.st_mode)) continue;
        if (e.name == ".mh_sequences") sequences = true;
        if (AllDigits(e.name))
            numbered = true;
        else if (e.name[0] != '.')
            other = true;
    }
    return sequences || (numbered && !other);
}

class Walker {
  public:
    Walker(InputList& list, bool recursive, const Warn& warn)
        : m_list(list), m_recursive(recursive), m_warn(warn) {}

    void Argument(const std::string& arg) {
        if (arg == kStandardInput) {
            m_list.files.push_back(arg);
            return;
        }
        struct stat st;
        if (stat(arg.c_str(), &st) != 0 || (!S_ISDIR(st.st_mode) && !S_ISFIFO(st.st_mode))) {
            m_list.files.push_back(arg);  // a file, or what the load says it cannot read
            return;
        }
        if (S_ISFIFO(st.st_mode)) {
            Fail("Cannot read " + Quote(arg) +
                 ": it is a named pipe; give it as standard input, as - < " + arg);
            return;
        }
        m_seen.clear();  // each argument is read whole, even one inside another
        char* real = realpath(arg.c_str(), nullptr);
        m_root = real ? real : arg;
        std::free(real);
        Directory(arg, st, true);
    }

  private:
    void Fail(const std::string& text) {
        m_warn(text);
        if (m_list.error == 0) m_list.error = codec::kIoError;
    }

    // given: named as an argument, and so read without recursive only as a mail folder.
    void Directory(const std::string& dir, const struct stat& st, bool given = false) {
        auto [at, fresh] = m_seen.emplace(std::make_pair(st.st_dev, st.st_ino), dir);
        if (!fresh) {
            Fail("Cannot read " + Quote(dir) + ": it is " + Quote(at->second) +
                 " again (a loop); it is read once");
            return;
        }
        if (IsMaildir(dir)) {
            Maildir(dir);
            return;
        }
        std::vector<Entry> entries;
        if (!List(dir, entries)) {
            Fail("Cannot read " + Quote(dir) + ": " + std::strerror(errno));
            return;
        }
        bool mh = IsMhFolder(entries);
        if (given && !m_recursive && !mh) {
            Fail("Cannot read " + Quote(dir) +
                 ": it is a directory; give -r (--recursive) to read the files in it");
            return;
        }
        for (const Entry& e : entries) {
            if (e.name[0] == '.') continue;
            std::string path = Join(dir, e.name);
            if (S_ISDIR(e.st.st_mode)) {
                if (m_recursive) Directory(path, e.st);
            } else if (!mh || AllDigits(e.name)) {
                File(path, e.st);
            }
        }
    }

    // The mails of new/ and cur/ together in name order (a Maildir name begins with the time
    // of delivery); tmp/ holds mails still being delivered. With recursive, the folders
    // inside it too (".Sent" and the like, each a Maildir).
    void Maildir(const std::string& dir) {
        std::vector<std::pair<std::string, Entry>> mails;
        for (const char* sub : {"new", "cur"}) {
            std::vector<Entry> entries;
            std::string path = Join(dir, sub);
            if (!List(path, entries)) {
                Fail("Cannot read " + Quote(path) + ": " + std::strerror(errno));
                continue;
            }
            for (Entry& e : entries)
                if (e.name[0] != '.') mails.emplace_back(path, std::move(e));
        }
        std::stable_sort(mails.begin(), mails.end(), [](const auto& a, const auto& b) {
            return NaturalLess(a.second.name, b.second.name);
        });
        for (const auto& [sub, e] : mails)
            File(Join(sub, e.name), e.st);
        if (!m_recursive) return;
        std::vector<Entry> entries;
        if (!List(dir, entries)) return;
        for (const Entry& e : entries) {
            std::string path = Join(dir, e.name);
            if (e.name.size() > 1 && e.name[0] == '.' && S_ISDIR(e.st.st_mode) && IsMaildir(path))
                Directory(path, e.st);
        }
    }

    void File(const std::string& path, const struct stat& st) {
        if (S_ISREG(st.st_mode)) {
            m_list.files.push_back(path);
            return;
        }
        if (!S_ISLNK(st.st_mode)) return;  // pipes, sockets, devices: not mail
        struct stat target;
        if (stat(path.c_str(), &target) != 0) {
            m_list.files.push_back(path);  // the load says why it cannot be read
            return;
        }
        if (!S_ISREG(target.st_mode)) return;  // a link to a directory is not followed
        char* real = realpath(path.c_str(), nullptr);
        bool inside = real && std::string(real).rfind(Join(m_root, ""), 0) == 0;
        std::free(real);
        if (inside) m_list.files.push_back(path);
    }

    InputList& m_list;
    bool m_recursive;
    const Warn& m_warn;
    std::string m_root;  // the directory given, as a real path
    std::map<std::pair<dev_t, ino_t>, std::string> m_seen;
};

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t si = i, sj = j;
            while (si < a.size() && a[si] == '0')
                ++si;
            while (sj < b.size() && b[sj] == '0')
                ++sj;
            size_t ei = si, ej = sj;
            while (ei < a.size() && digit(a[ei]))
                ++ei;
            while (ej < b.size() && digit(b[ej]))
                ++ej;
            if (ei - si != ej - sj) return ei - si < ej - sj;
            int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0) return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
    return a < b;  // "01" and "1": still an order
}

InputList GatherInputs(const std::vector<std::string>& args, bool recursive, const Warn& warn) {
    InputList list;
    Walker walker(list, recursive, warn);
    for (const std::string& arg : args)
        walker.Argument(arg);
    return list;
}

}  // namespace tamsel
