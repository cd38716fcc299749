#pragma once
// The program's pictures by their resource ids: the desktop theme's icons where it has them,
// otherwise pictures drawn here.
#include <wx/bitmap.h>
#include <wx/imaglist.h>

#include <memory>

namespace res {

// Bitmap 131: 16-pixel images; 0 an open folder, 7 a folder.
std::unique_ptr<wxImageList> LoadFolderImages();
// Bitmap 152: the splash picture, room for the version line at (120, 90).
wxBitmap LoadSplashBitmap();
// Bitmap 173: the wizard pages' picture on the left, width by height.
wxBitmap LoadWizardPicture(int width, int height);
// Bitmaps 160 and 161: the tool bar's images, one per button of tool bar 128 (24 by 24).
std::unique_ptr<wxImageList> LoadToolBarImages(bool disabled);
// The tool bar picture of a command, for its menu item too; null when the command has none.
wxBitmap ToolBarBitmapFor(unsigned commandId, int size = 24);

} // namespace res
