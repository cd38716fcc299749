#pragma once
// Extracting the attachments of messages a search listed.
#include <string>
#include <vector>

#include "engine/ExtractionOptions.h"

struct ExtractionContext;

// The extraction run over the listed messages' copies (top row first): they are given to the
// run as a folder of .eml files made for it in the temporary folder, removed afterwards. Returns
// the run's result; 0 with nothing to do.
int ExtractSearchHits(const std::vector<std::string>& copies, const ExtractionOptions& options,
                      const std::string& folderName, ExtractionContext& context);
