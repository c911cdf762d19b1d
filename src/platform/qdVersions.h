#pragma once
// Drawing releases, oldest first, so that releases compare with < and >=.
// Set from $ACADVER in DXF files and from the version string of DWG files.
enum TqdDWGVersion : int {
  acR09,
  acR10,
  acR11,
  acR12,
  acR13,
  acR14,
  acR2000,
  acR2004,
  acR2007,
  acR2010,
  acR2013,
  acR2018
};
