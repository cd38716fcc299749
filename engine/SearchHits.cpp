#include "engine/SearchHits.h"

#include <cstdio>
#include <filesystem>
#include <stdlib.h>
#include <unistd.h>

#include "engine/ExtractionRun.h"
#include "platform/FileSystem.h"
#include "platform/UserInterface.h"

int ExtractSearchHits(const std::vector<std::string>& copies, const ExtractionOptions& options,
                      const std::string& folderName, ExtractionContext& context) {
    if (copies.empty() || options.Destination.empty()) return 0;
    std::error_code ec;
    std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    std::string folder = ec ? std::string() : (temp / "kestrel-hits-XXXXXX").string();
    if (folder.empty() || !mkdtemp(folder.data())) {
        context.ui.ShowMessage("Error in Create Temp File!!");
        return 0;
    }
    // The run reads the folder from the last name down: the top row gets the last name, so the
    // report lists the rows in the order they are shown.
    std::vector<std::string> links;
    char name[32];
    for (std::size_t i = 0; i < copies.size(); ++i) {
        std::snprintf(name, sizeof name, "%06zu.eml", copies.size() - 1 - i);
        std::string link = platform::JoinPath(folder, name);
        if (symlink(copies[i].c_str(), link.c_str()) == 0) links.push_back(link);
    }
    int result = RunExtraction(folder, options, folderName, context);
    for (const std::string& link : links)
        unlink(link.c_str());
    rmdir(folder.c_str());
    return result;
}
