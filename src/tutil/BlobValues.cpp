#include "tutil/BlobValues.h"

#include "paradox/BlobFile.h"
#include "paradox/Codec.h"
#include "tutil/RecordValues.h"

namespace tutil {

struct BlobValues::Impl {
    const paradox::TableSchema& schema;
    std::vector<std::uint32_t> offsets;
    std::unique_ptr<paradox::BlobFile> file;
    paradox::FindingList& findings;
};

BlobValues::BlobValues(const paradox::TableSchema& schema, const std::filesystem::path& mb,
                       paradox::FindingList& findings)
    : impl_(std::make_unique<Impl>(
          Impl{schema, schema.FieldOffsets(),
               mb.empty() || !schema.HasBlobs()
                   ? nullptr
                   : paradox::BlobFile::Open(mb, findings, schema.protection.keyValue),
               findings})) {}

BlobValues::~BlobValues() = default;

bool BlobValues::FileShrank() const {
    return impl_->file && impl_->file->FileShrank();
}

std::vector<std::optional<std::vector<std::uint8_t>>>
BlobValues::Read(const std::uint8_t* record, const std::string& where,
                 std::vector<paradox::FindingDetail>* lost) const {
    std::vector<std::optional<std::vector<std::uint8_t>>> values;
    for (std::size_t i = 0; i < impl_->schema.fields.size(); ++i) {
        const auto& field = impl_->schema.fields[i];
        if (!paradox::IsBlobType(field.typeCode)) {
            continue;
        }
        const auto ref = paradox::DecodeBlobRef(record + impl_->offsets[i], field.ByteLength());
        if (!ref || ref->length == 0) {
            values.emplace_back(std::nullopt);
            continue;
        }
        std::vector<std::uint8_t> data;
        paradox::FindingList problems;
        if (paradox::ReadBlobField(record + impl_->offsets[i], field.ByteLength(), field.typeCode,
                                   impl_->file.get(), data, problems,
                                   where + " field " + field.name)) {
            values.emplace_back(std::move(data));
            continue;
        }
        values.emplace_back(std::nullopt);
        if (lost) {
            lost->push_back(problems.Empty()
                                ? paradox::Detail(paradox::DetailKind::BlobUnreadable)
                                      .Field(i + 1)
                                      .Extra(field.name)
                                : paradox::Detail(paradox::DetailKind::BlobUnreadableBecause)
                                      .Field(i + 1)
                                      .Extra(field.name)
                                      .Found(paradox::FindingText(problems.All().front().code)));
        }
    }
    return values;
}

} // namespace tutil
