#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "PartStore.h"
#include "ShelfStore.h"

namespace tomely::shelf {

// A stored part that is missing or no longer matches its fingerprint.
class DamagedPart : public std::runtime_error {
public:
    DamagedPart(std::string fingerprint, const std::string& what)
        : std::runtime_error(what), fingerprint_(std::move(fingerprint)) {}
    [[nodiscard]] const std::string& fingerprint() const { return fingerprint_; }

private:
    std::string fingerprint_;
};

// Rebuilds a finished upload's book files from their parts (each file's parts in index order)
// and packs them as a zip (.iba) at `target`, written durably. Every part is read back from the
// store and checked against its fingerprint first. When all parts of a file end open (the
// client's full-flushed raw deflate), their bytes are chained into the zip entry as they are,
// closed by an empty final block; otherwise the file is inflated and deflated anew. Returns
// the size of the packed file. Throws DamagedPart, or std::runtime_error for other failures.
std::int64_t packBook(const PartStore& parts, const FinishPlan& plan, const std::filesystem::path& target);

}  // namespace tomely::shelf
