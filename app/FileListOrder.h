#pragma once
// The order of the destination file list: folders first, then by the column the user clicked,
// names compared as people read them ("a (2)" before "a (10)", without regard to case).
#include <string>
#include <vector>

#include "platform/FileSystem.h"

enum class FileListColumn { Name, Size, Type, Date };

// Negative, zero or positive as a sorts before, with or after b.
int NaturalCompare(const std::string& a, const std::string& b);
void SortFileList(std::vector<platform::DirEntry>& entries, FileListColumn column, bool ascending);
