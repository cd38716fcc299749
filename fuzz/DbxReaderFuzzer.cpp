// Any byte sequence as a .dbx file: open it, then read every item it lists with and without
// its text, in memory and streamed.
#include <fcntl.h>

#include "FuzzFile.h"
#include "oe/DbxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    static int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    CDbxStoreFile store;
    if (!store.Open(file.Path())) return 0;
    const std::int32_t count = store.GetItemCount();
    for (std::int32_t i = count - 1; i >= 0; --i) {
        std::unique_ptr<CDbxItem> bare = store.GetItem(i, 0).Take();
        std::unique_ptr<CDbxItem> full = store.GetItem(i, kDbxReadText).Take();
        if (bare && bare->GetKind() == 0)
            store.WriteMessageText(static_cast<const CDbxMessage&>(*bare), devNull);
    }
    store.GetItem(-1, kDbxReadText);
    store.GetItem(count, kDbxReadText);
    return 0;
}
