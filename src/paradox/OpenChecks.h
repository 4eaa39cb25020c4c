#pragma once

#include "paradox/ByteView.h"
#include "paradox/Finding.h"
#include "paradox/Header.h"

#include <cstddef>
#include <string>

namespace paradox {

// Checks of a table that cost a bounded amount of work whatever the table's size, for an
// engine that must decide quickly whether a table can be opened. Each adds Damage findings.

// The file holds the blocks the header counts (a short last block is fine as long as its
// used part is there), and the header's block and record counts agree with each other.
void CheckTableExtent(const TableHeader& header, ByteView file, const std::string& fileName,
                      FindingList& findings);

// Follows the block chain from its first block for at most `maxBlocks` blocks: pointers in
// range, no cycle, prev links, last-record offsets. When the chain ends within the bound,
// its tail, length and record total must match the header; otherwise the tail block named
// by the header must end the chain. A protected file's block headers are decrypted with the
// key its header stores.
void CheckChainStart(const TableHeader& header, ByteView file, const std::string& fileName,
                     FindingList& findings, std::size_t maxBlocks = 64);

// The .MB's header block: whole 4 KB blocks, and a header block of type 0 and one chunk
// (decrypted with the table's key value when the table is protected and the .MB is not
// stored plain).
void CheckBlobFileHeader(ByteView blobFile, std::uint32_t tableKeyValue,
                         const std::string& fileName, FindingList& findings);

// Reads an index's root block (.PX against its table, or .Ynn/.YGn against its X file): the
// entries of a one-level root point at blocks of the data file and count their records; the
// statistics of any root add up to the data file's record count.
void CheckIndexRoot(const TableHeader& data, ByteView dataFile, const TableHeader& index,
                    ByteView indexFile, const std::string& indexName, FindingList& findings);

// A secondary index's X file header against its table: the indexed fields exist in the table
// with the same types and sizes, a keyed table's key fields follow them, the collation is the
// table's, and a maintained index counts the table's records.
void CheckSecondaryHeader(const TableHeader& table, const TableHeader& x, const std::string& xName,
                          FindingList& findings);

} // namespace paradox
