#pragma once
// Face resolutions remembered across processes. Loading the font registry's
// configuration costs more than reading most drawings, and a viewer opens one
// drawing per process; so what a face name resolved to is kept in a small file
// under the user's cache folder, valid while the installed fonts and the
// registry's configuration stay as they were (a stamp of both names the file).

#include <mutex>
#include <string>
#include <unordered_map>

#include "TTF.h"

class TqdTTFResolutionCache {
public:
  // A cache kept in AFolder for the installation stamp AStamp. An empty folder
  // keeps nothing.
  TqdTTFResolutionCache(std::string AFolder, std::string AStamp);

  // The process-wide cache: $XDG_CACHE_HOME/draftwell (or ~/.cache/draftwell);
  // none when DRAFTWELL_FONT_CACHE=0 or no folder is known.
  static TqdTTFResolutionCache& Instance();
  // The stamp of the installed fonts and of the registry's configuration.
  static std::string InstallationStamp();

  // The remembered resolution of AName in AStyles, if its face file still exists.
  bool Find(const std::string& AName, unsigned AStyles, TqdTTFResolution& AResolution);
  // Remembers a resolution (one appended line; names with control characters
  // are not kept).
  void Store(const TqdTTFResolution& AResolution, const std::string& AName, unsigned AStyles);
  // The file this cache reads and appends to; empty when it keeps nothing.
  const std::string& FileName() const { return FFileName; }

private:
  void Load(); // under FLock, once
  std::mutex FLock;
  std::string FFolder, FFileName;
  bool FLoaded = false;
  std::unordered_map<std::string, TqdTTFResolution> FKnown;
};
