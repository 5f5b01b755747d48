// Media files under folders, the way a folder is added to the file list:
// the files whose extensions the add dialog's first filter lists (in any
// case), hidden files and folders left out, in the natural order of their
// paths ("ep2" before "ep10"), each path once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/settings/open_filter.h"

namespace moskvid {

// Digits runs compare as numbers, letters without regard to case; equal
// texts so far are told apart by their bytes, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);
// Paths in natural order, folder by folder: "a/ep2" < "a/ep10" < "b/ep1".
bool NaturalPathLess(const std::string& a, const std::string& b);

// The add dialog's first filter ("Video/Audio/Picture Files").
const TFileFilter& MediaFileFilter();

// The media files under `folder` and its subfolders, in natural order.
// Folders that cannot be read are passed over; links to folders are not
// followed. Gives up, with what it has, once `cancelled` says so.
std::vector<std::string> MediaFilesUnder(const std::string& folder,
                                         const std::function<bool()>& cancelled = {});

// `paths` with every folder replaced by the media files under it, each path
// once, in the order given.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& paths,
                                       const std::function<bool()>& cancelled = {});

}  // namespace moskvid
