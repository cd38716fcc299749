#pragma once
// The store namespace over a store folder: the folder file names the folders, each folder's
// .dbx message file holds its messages. Read-only: every change is refused.
#include "platform/StoreInterfaces.h"

namespace oestore {

// A new namespace with one reference.
platform::IStoreNamespace* NewStoreNamespace();

} // namespace oestore
