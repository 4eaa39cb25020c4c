#pragma once

#include "paradox/ByteView.h"
#include "paradox/StructureInference.h"
#include "paradox/StructureSources.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tutil {

// The key the blocks of a table with a damaged header are read with during a salvage, and the
// chain found under it.
struct StructureKey {
    std::uint32_t keyValue = 0; // 0: the blocks are read as stored
    std::optional<paradox::BlockGeometry> geometry;
    // The header names a key and neither it nor any other decrypts the blocks to a chain.
    bool lost = false;
    // How the key was found when the header's own did not serve (empty when it did).
    std::string finding;
};

// The stored key (0x25, or 0x5C behind the level-4 marker) when it decrypts block 1 to a
// chain; else the blocks as stored when they form one; else the low half found by searching
// block 1 under each header size, keeping whatever high half survives. `db` is the file as
// stored.
StructureKey FindStructureKey(paradox::ByteView db, const paradox::SurvivingHeader& own);

} // namespace tutil
