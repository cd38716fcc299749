#include "app/FileListOrder.h"

#include <algorithm>
#include <cctype>

#include "platform/PathHelpers.h"

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
int Lower(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}
std::string TypeKey(const platform::DirEntry& e) {
    std::string ext = platform::FindExtension(e.name);
    std::string key;
    for (char c : ext)
        key += static_cast<char>(Lower(c));
    return key;
}
} // namespace

int NaturalCompare(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Compare the two runs of digits by value: skip leading zeros, then length, then
            // digits.
            size_t si = i, sj = j;
            while (si < a.size() && a[si] == '0')
                ++si;
            while (sj < b.size() && b[sj] == '0')
                ++sj;
            size_t ei = si, ej = sj;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
            for (size_t k = 0; k < ei - si; ++k)
                if (a[si + k] != b[sj + k]) return a[si + k] < b[sj + k] ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        if (Lower(a[i]) != Lower(b[j])) return Lower(a[i]) < Lower(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    // Equal to the eye ("a1" and "a01", "A" and "a"): byte order keeps the order total.
    return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

void SortFileList(std::vector<platform::DirEntry>& entries, FileListColumn column, bool ascending) {
    auto key = [column](const platform::DirEntry& x, const platform::DirEntry& y) -> int {
        switch (column) {
        case FileListColumn::Size:
            if (x.size != y.size) return x.size < y.size ? -1 : 1;
            break;
        case FileListColumn::Type:
            if (int c = TypeKey(x).compare(TypeKey(y)); c != 0) return c;
            break;
        case FileListColumn::Date:
            if (x.lastWrite != y.lastWrite) return x.lastWrite < y.lastWrite ? -1 : 1;
            break;
        case FileListColumn::Name:
            break;
        }
        return NaturalCompare(x.name, y.name);
    };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const platform::DirEntry& x, const platform::DirEntry& y) {
                         // Folders stay above the files whichever way the list is sorted.
                         if (x.isDirectory != y.isDirectory) return x.isDirectory;
                         int c = key(x, y);
                         return ascending ? c < 0 : c > 0;
                     });
}
