#pragma once
// The containers of R2004 and later: they turn a paged, compressed file back into
// the flat R2000 layout the section readers take (a 25-byte head, 9-byte locator
// records, the section data).
//
// R2004, R2010, R2013 and R2018 use the paged container (scrambled header, page map,
// section map, LZ77 pages); R2007 its own (Reed-Solomon protected header and system
// pages, 64-bit maps, its own compression). Every size and address from the file is
// bounded by the file and by TdwgLimits before it sizes a read or an allocation.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qdVersions.h"

// The rebuilt image and what the container noticed on the way.
struct TdwgContainerImage {
  // The image, followed by TdwgLimits::ImagePadding zero bytes.
  std::vector<std::uint8_t> Data;
  std::size_t Size = 0;  // bytes of the image proper
  int Records = 0;       // locator records at offset 25
  std::vector<std::string> Warnings;
};

// Locator record number of a section name (case-insensitive), or -1 for sections
// the reader does not use. "AcDb:AcDsPrototype_1b" counts from R2013 on.
int DWGSectionRecord(std::string_view AName, TqdDWGVersion AVersion);

// The section streams of a container, by locator record number (0 to 6).
struct TdwgSections {
  std::vector<std::uint8_t> Data[7];
  bool Present[7] = {};
};

// The image: head zero-filled, AVersionText at the start, the stored code-page index
// at 19, the record count at 21, records for slots 0 to ARecords - 1 (seeker 0 and
// size 0 for a missing section), then the data in slot order.
void BuildDWGImage(const char* AVersionText, std::uint16_t ACodePageIndex, TdwgSections& ASections, int ARecords,
                   TdwgContainerImage& AOut);

// The most bytes the sections of a file of AFileSize bytes may decompress to.
std::uint64_t DWGImageCap(std::size_t AFileSize);

// R2004, R2010, R2013, R2018. Throws EdwgError "DWG file header is corrupted" (with
// the reason as a warning in AOut) when the header, the page map or the section map
// cannot be used; a damaged data page ends its section with a warning.
void ReadDWG2004Container(const std::uint8_t* AFile, std::size_t ASize, TqdDWGVersion AVersion,
                          TdwgContainerImage& AOut);

// R2007. Throws EqdRSCoderError for an uncorrectable header or system page, EdwgError
// "Error in DWG 2007 header" or "DWG file header is corrupted" otherwise; a damaged
// data page adds nothing to its section (with a warning).
void ReadDWG2007Container(const std::uint8_t* AFile, std::size_t ASize, TdwgContainerImage& AOut);
