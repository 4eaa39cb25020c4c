#pragma once

#include "paradox/Codec.h"
#include "paradox/Finding.h"
#include "paradox/MappedFile.h"
#include "paradox/PlainBytes.h"
#include "paradox/WalkPages.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace paradox {

class TableReader;
struct RecordRef;

// A table's .MB file, mapped read-only. The file is a run of blocks of 4 KB units; the
// structure check walks them from the start, while each blob is read through the 10-byte tail
// of a record's blob field, so damage to one block loses only the blobs in it.
class BlobFile {
public:
    static constexpr std::uint32_t kUnit = 4096;

    // nullptr when the file does not exist (no finding: a table whose blobs all fit their
    // leaders needs no .MB) or cannot be mapped (FileUnreadable). `tableKeyValue` is the
    // owning table's TableHeader::CipherKeyValue(): an encrypted table's .MB is encrypted too.
    // `pages`: as TableReader::Open.
    static std::unique_ptr<BlobFile> Open(const std::filesystem::path& path, FindingList& findings,
                                          std::uint32_t tableKeyValue = 0,
                                          WalkPages pages = WalkPages::Keep);

    const std::string& FileName() const { return fileName_; }
    std::uint64_t Size() const { return file_.Size(); }
    // As TableReader::FileShrank.
    bool FileShrank() const { return file_.ShrankWhileMapped(); }
    // As TableReader::DropResidentPages.
    void DropResidentPages() const { file_.DropResidentPages(); }

    // The data of the blob a record's field refers to: from the leader when it is all there,
    // else from this file; for Graphic without the 8-byte prefix stored before the image.
    // False with a finding (naming `where`, e.g. "ORDERS.DB block 3 record 2 field Notes")
    // when the data cannot be read.
    bool Read(const BlobRef& ref, std::uint8_t fieldType, std::vector<std::uint8_t>& out,
              FindingList& findings, const std::string& where) const {
        return ReadInto(ref, fieldType, &out, findings, where);
    }
    // As Read, for the findings alone: the data is not copied.
    bool Check(const BlobRef& ref, std::uint8_t fieldType, FindingList& findings,
               const std::string& where) const {
        return ReadInto(ref, fieldType, nullptr, findings, where);
    }

    // Walks the whole file: header block, every block's type and size, every slot of every
    // suballocated block. Reports what is wrong, skips units that start no block and goes on;
    // never trusts a length.
    void CheckStructure(FindingList& findings) const;

    // Blobs the walk found stored: single-blob blocks and used slots of suballocated blocks.
    std::uint64_t StoredBlobCount() const { return storedBlobs_; }

private:
    BlobFile(std::filesystem::path path, PlainBytes file);
    void Walk(WalkPages pages);
    bool ReadInto(const BlobRef& ref, std::uint8_t fieldType, std::vector<std::uint8_t>* out,
                  FindingList& findings, const std::string& where) const;
    void AddStructureProblem(FindingDetail detail);
    // The inside of a block whose header is sound: a single blob's length, every slot.
    void CheckBlockContent(std::uint64_t offset, std::uint8_t type, std::uint16_t units,
                           ByteView block);

    std::filesystem::path path_;
    std::string fileName_;
    PlainBytes file_;
    // A file of garbage must not give a finding per 4 KB unit.
    static constexpr std::size_t kMaxStructureProblems = 200;
    std::vector<Finding> structureProblems_;
    std::uint64_t structureProblemsNotKept_ = 0;
    std::uint64_t storedBlobs_ = 0;
};

// The data of one blob field of a record, whether it lives in the leader or the .MB. When the
// field is NULL the result is true with `out` empty. `blobs` may be null (no .MB): a field that
// needs it gives BlobFileMissing. Each finding's detail starts with `where`; its file is the
// blob file's name, or empty when no blob file is involved (the caller knows the record's file).
bool ReadBlobField(const std::uint8_t* field, std::uint16_t fieldLength, std::uint8_t fieldType,
                   const BlobFile* blobs, std::vector<std::uint8_t>& out, FindingList& findings,
                   const std::string& where);

// As ReadBlobField for a decoded reference, for the findings alone: the data is not copied.
bool CheckBlobRef(const BlobRef& ref, std::uint8_t fieldType, const BlobFile* blobs,
                  FindingList& findings, const std::string& where);

// Reads every blob of every record of a table: pointers,
// lengths, modification numbers, leaders, blobs shared between records. A missing .MB that
// records point into is reported once, with the number of blobs lost.
void CheckTableBlobs(const TableReader& table, const BlobFile* blobs, FindingList& findings);

// Why a blob file of `fileSize` bytes whose (plain) first bytes are `start` has no header
// block; none when it has one. The open's look at the header and verify's walk both use it.
FindingDetail BlobHeaderBlockProblem(ByteView start, std::uint64_t fileSize);

} // namespace paradox
