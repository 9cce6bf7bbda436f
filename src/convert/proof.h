// The proof that a new archive holds what the archiver read from its source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/job.h"
#include "convert/listing.h"

namespace pomu {

// A file the working folder held after the extraction, as the walk found it.
struct UnpackedFile {
    std::string path;  // UTF-8, relative, with '/'
    std::uint64_t size = 0;
    bool link = false;
};

struct ProofResult {
    ProofFailure failure = ProofFailure::none;
    int count = 0;          // files concerned, for the failures that count them
    bool ofSource = false;  // listingFailed, warning: the source's listing (else the new one's)
    std::string file;       // the first file concerned, as its listing or the walk names it
    bool holds() const { return failure == ProofFailure::none; }
};

// The source's listing alone: complete, no error or warning, nothing marked unsupported.
ProofResult checkSource(const Listing& source);

// The source's listing, the unpacked files and the new archive's listing agree: every file of
// the source was unpacked and packed with its size (and CRC where both listings give one),
// matched by content, since the archiver may clean names; links by name, since they are packed
// as links or as what they point to; and the new archive holds the working folder's files,
// no more, no fewer, with their sizes.
ProofResult proveConversion(const Listing& source, const std::vector<UnpackedFile>& unpacked,
                            const Listing& packed);

// A listed path as the walk would name it: '/' separators, no leading "./" or '/'.
std::string normalizedPath(std::string_view path);

}  // namespace pomu
