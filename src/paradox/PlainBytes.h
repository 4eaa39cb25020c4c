#pragma once

#include "paradox/ByteView.h"
#include "paradox/MappedFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace paradox {

struct TableHeader;

// A file's bytes as the readers need them: the mapping itself for a plain file, a decrypted
// copy for an encrypted one. The only place where encryption meets the readers; everything
// that reads blocks or blobs reads through View() and never sees cipher text.
class PlainBytes {
public:
    // A file with the block layout (.DB, .PX, .Xnn, .Ynn): the header stays as stored, and when
    // the header names a key every block is decrypted for its physical number.
    static PlainBytes ForBlockFile(MappedFile file, const TableHeader& header);
    // A .MB, decrypted with its table's key value (0: a plain table, nothing to do).
    static PlainBytes ForBlobFile(MappedFile file, std::uint32_t tableKeyValue);

    // The first `length` bytes of block `block` (1-based) of a block file as stored in `file`,
    // decrypted into `copy` when the header names a key, as far as the file holds whole
    // pieces of it; a plain file's bytes come from `file` itself. Empty past the end.
    static ByteView Block(const TableHeader& header, ByteView file, std::uint32_t block,
                          std::size_t length, std::vector<std::uint8_t>& copy);

    ByteView View() const { return decrypted_ ? ByteView(plain_.get(), plainSize_) : file_.View(); }
    // For a decrypted block file, the bytes up to its last whole piece: a piece cut off by the
    // end of the file cannot be decrypted, so its bytes count as missing rather than garbage.
    std::uint64_t Size() const { return decrypted_ ? plainSize_ : file_.Size(); }
    bool Decrypted() const { return decrypted_; }
    // The file's length as stored (a decrypted copy may end earlier).
    std::uint64_t StoredSize() const { return file_.Size(); }
    // As MappedFile::ShrankWhileMapped: the copy was made from what the mapping showed.
    bool ShrankWhileMapped() const { return file_.ShrankWhileMapped(); }
    // As MappedFile::DropResidentPages; a decrypted copy stays as it is.
    void DropResidentPages() const { file_.DropResidentPages(); }

private:
    explicit PlainBytes(MappedFile file) : file_(std::move(file)) {}
    void Allocate(std::size_t size);

    MappedFile file_;
    bool decrypted_ = false;
    std::unique_ptr<std::uint8_t[]> plain_; // the decrypted copy; unused for a plain file
    std::size_t plainSize_ = 0;
};

} // namespace paradox
