// Any byte sequence as a store's folder file: read the folder list, build the folders' records
// and the tree. Every folder must get exactly one record, after its parent, and no message file
// name may lead out of the store folder.
#include <cstdlib>
#include <set>

#include "FuzzFile.h"
#include "oe/ExpressFolders.h"
#include "store/ExpressStore.h"
#include "store/FolderTree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    platform::Result<std::vector<ExpressFolder>> read = ReadExpressFolders(file.Path());
    if (!read) {
        if (read.GetStatus().Reason().empty()) std::abort();
        return 0;
    }
    const std::vector<ExpressFolder>& folders = read.Value();
    std::vector<FolderRecord> records = ExpressFolderRecords(folders, "/store", "Identity");
    bool hasRoot = false;
    for (const ExpressFolder& f : folders)
        hasRoot |= f.parentId == kExpressNoParent;
    if (records.size() != folders.size() + (hasRoot ? 0 : 1)) std::abort();
    std::set<std::string> seen;
    for (const FolderRecord& r : records) {
        std::size_t slash = r.RelativePath.rfind('/');
        if (slash != std::string::npos && !seen.count(r.RelativePath.substr(0, slash))) std::abort();
        seen.insert(r.RelativePath);
        if (r.PathSuffix.find('/') != std::string::npos || r.PathSuffix == "..") std::abort();
    }
    FolderTree tree = BuildFolderTree(records);
    if (tree.Items.size() < records.size()) std::abort();
    return 0;
}
