// kestrel-extract-tool OUTROOT MESSAGE...: each message through CExtractorClient (the real
// component, created by class id) into its own folder OUTROOT/<n>, one line per message on
// stdout: "<n>\t<message path>\t<ExtractToFolder2 answer>". The oracle test reads it.
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/ExtractorClient.h"
#include "platform/UserInterface.h"

namespace {
class StderrUi : public IMessageBox {
public:
    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
        std::fprintf(stderr, "%s", text.c_str());
    }
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
};
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTROOT MESSAGE...\n", argv[0]);
        return 2;
    }
    StderrUi ui;
    CExtractorClient client;
    if (!client.Create(&ui)) return 1;
    client.SetErrorLogger(
        [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    for (int i = 2; i < argc; ++i) {
        std::string folder = std::string(argv[1]) + "/" + std::to_string(i - 2);
        std::filesystem::create_directories(folder);
        std::string answer = client.ExtractToFolder2(argv[i], folder);
        std::printf("%d\t%s\t%s\n", i - 2, argv[i], answer.c_str());
    }
    return 0;
}
