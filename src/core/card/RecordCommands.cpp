#include "card/RecordCommands.h"

#include <cerrno>
#include <initializer_list>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "card/CallLog.h"
#include "platform/LinkFreePath.h"
#include "platform/TextCodec.h"

namespace lk {

namespace {

RecordChange Failed(std::string reason) {
    return {false, std::move(reason)};
}

// The record's entry in its file, read back and checked to still be the
// record: a file rewritten since the load would otherwise take the change
// into another call's entry.
struct Entry {
    FileHandle file;
    off_t offset = 0;
    std::vector<std::uint8_t> image;
    RecordSourceFile::Kind kind = RecordSourceFile::Kind::StoreIndex;
};

std::optional<Entry> OpenEntry(const CallRecord& record, std::string& reason) {
    if (!record.origin.Known()) {
        reason = "the record's file is not known";
        return std::nullopt;
    }
    const RecordSourceFile& source = *record.origin.file;
    RegularFileOpen opened = OpenRegularWithoutLinks(source.root, source.file, O_RDWR);
    if (!opened.Ok()) {
        reason = source.file.filename().string() + ": " + opened.reason;
        return std::nullopt;
    }
    Entry e;
    e.kind = source.kind;
    e.file = std::move(opened.file);
    const auto size = static_cast<std::size_t>(source.recordSize);
    e.offset = static_cast<off_t>(record.origin.position * source.recordSize);
    e.image.resize(size);
    if (::pread(e.file.Get(), e.image.data(), size, e.offset) != static_cast<ssize_t>(size)) {
        reason = source.file.filename().string() + ": the record is no longer in the file";
        return std::nullopt;
    }
    bool same = false;
    if (e.kind == RecordSourceFile::Kind::StoreIndex) {
        const CallRecord there = CallRecord::FromBytes(e.image);
        same = there.type == record.type && there.time == record.time;
    } else {
        same = e.image[card128::kType] == static_cast<std::uint8_t>(record.type);
    }
    if (!same) {
        reason = source.file.filename().string() + ": the entry changed since it was read";
        return std::nullopt;
    }
    return e;
}

// A byte range of an entry: what a command owns in it.
struct Field {
    std::size_t offset;
    std::size_t size;
};

// Writes only the fields the command changed. The entry as a whole was read
// a moment before; written back whole, it undid what another PC sharing the
// store wrote into it meanwhile (a deletion or retention brought the entry
// back to life, naming a recording that had gone to the trash).
RecordChange WriteFields(Entry& e, std::initializer_list<Field> fields,
                         const std::string& fileName) {
    for (const Field& f : fields) {
        const auto n = static_cast<ssize_t>(f.size);
        if (::pwrite(e.file.Get(), e.image.data() + f.offset, f.size,
                     e.offset + static_cast<off_t>(f.offset)) != n)
            return Failed(fileName + ": " + FileErrorText(errno));
    }
    return {true, {}};
}

std::string FileNameOf(const CallRecord& record) {
    return record.origin.file->file.filename().string();
}

}  // namespace

RootedPathResult RecordingOf(const CallRecord& record) {
    if (!record.origin.file) return {std::nullopt, "the record's file is not known"};
    return RootedPath::Resolve(record.origin.file->root, FieldText(record.filePath));
}

RecordChange DeleteRecordFiles(const CallRecord& record) {
    const auto recording = RecordingOf(record);
    if (!recording.path) return Failed("recording refused: " + recording.reason);
    std::string reason;
    auto entry = OpenEntry(record, reason);
    if (!entry) return Failed(reason);
    const RootedRemoval removal = recording.path->Remove();
    if (!removal.ok) return Failed("recording not removed: " + removal.reason);
    // An entry left in the file brings the record back on the next load.
    if (entry->kind == RecordSourceFile::Kind::StoreIndex) {
        constexpr std::size_t kByte = CallRecord::kCardBytesOffset + CallRecord::kCardInUseByte;
        WriteU8(entry->image, kByte, 0);
        WriteI32(entry->image, CallRecord::kInUseOffset, 0);
        return WriteFields(*entry, {{kByte, 1}, {CallRecord::kInUseOffset, 4}}, FileNameOf(record));
    }
    entry->image[card128::kInUse] = 0;
    return WriteFields(*entry, {{card128::kInUse, 1}}, FileNameOf(record));
}

RecordChange WriteRecordMark(CallRecord& record, int value) {
    // A record whose recording lies outside its root came from a poisoned
    // file: nothing is done on its word.
    const auto recording = RecordingOf(record);
    if (!recording.path) return Failed("recording refused: " + recording.reason);
    if (!recording.path->ReachedWithoutLinks())
        return Failed(std::string("recording refused: ") + FileErrorText(ELOOP));
    std::string reason;
    auto entry = OpenEntry(record, reason);
    if (!entry) return Failed(reason);
    const auto byte = static_cast<std::uint8_t>(value & 0xFF);
    RecordChange written;
    if (entry->kind == RecordSourceFile::Kind::StoreIndex) {
        constexpr std::size_t kByte = CallRecord::kCardBytesOffset + CallRecord::kCardMarkByte;
        WriteU8(entry->image, kByte, byte);
        WriteI32(entry->image, CallRecord::kMarkedOffset, value);
        written =
            WriteFields(*entry, {{kByte, 1}, {CallRecord::kMarkedOffset, 4}}, FileNameOf(record));
    } else {
        entry->image[card128::kMark] = byte;
        written = WriteFields(*entry, {{card128::kMark, 1}}, FileNameOf(record));
    }
    if (written.done) {
        record.marked = value;
        record.cardBytes[CallRecord::kCardMarkByte] = byte;
    }
    return written;
}

}  // namespace lk
