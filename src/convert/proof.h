// The proof that a new archive holds what the archiver read from its source.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/archive_types.h"
#include "convert/listing.h"
#include "convert/outcome.h"

namespace pomu {

// A file, folder or link the working folder held after the extraction, as the walk found it.
struct UnpackedFile {
    std::string path;  // UTF-8, relative, with '/'
    std::uint64_t size = 0;
    bool link = false;
    bool folder = false;
    std::optional<std::string> linkTarget = std::nullopt;  // as the link holds it, if read
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
// the source was unpacked and packed with its size (and CRC where both listings give a CRC-32),
// matched by content; links by name; and the new archive holds the working folder's files, no
// more, no fewer, with their sizes. A failure there means the new archive is not trusted.
// Then, failures that keep the source only: every entry is a file, an empty folder or a link;
// every name is kept as listed and every link's target; the working folder held nothing else.
ProofResult proveConversion(const Listing& source, const std::vector<UnpackedFile>& unpacked,
                            const Listing& packed,
                            const ArchiveType& type = {"7z", ".7z", true, false});

// A listed path as the walk would name it: '/' separators, no leading "./" or '/'.
// Only for matching by content; names are compared as listed.
std::string normalizedPath(std::string_view path);

}  // namespace pomu
