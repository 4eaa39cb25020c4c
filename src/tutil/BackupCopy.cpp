#include "tutil/BackupCopy.h"

#include "tutil/DurableFile.h"

#include <utility>

namespace tutil {

BackupCopy::BackupCopy(const paradox::TableFamily& family, const DirHandle& staging,
                       const std::string& backupStem)
    : worker_([this, files = paradox::AllFamilyFiles(family), &staging, backupStem] {
          try {
              for (const std::filesystem::path& file : files) {
                  CopyFileDurably(file, staging, backupStem + file.extension().string());
              }
          } catch (...) {
              failure_ = std::current_exception();
          }
      }) {}

void BackupCopy::Finish() {
    if (worker_.joinable()) {
        worker_.join();
    }
    if (failure_) {
        std::rethrow_exception(std::exchange(failure_, nullptr));
    }
}

} // namespace tutil
