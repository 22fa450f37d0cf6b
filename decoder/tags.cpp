#include "decoder/tags.h"

#include "decoder/mpegheader.h"
#include "decoder/tagstream.h"

#include <taglib/apefooter.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Blanks alone, as fixed-width ID3v1 fields hold them, are no value.
std::string Utf8(const TagLib::String& text) {
    std::string bytes = text.stripWhiteSpace().to8Bit(true);
    return bytes.substr(0, bytes.find('\0')); // an INFO value ends at its first NUL
}

// The fields with blank values dropped and the others trimmed.
TagLib::PropertyMap Trimmed(const TagLib::PropertyMap& fields) {
    TagLib::PropertyMap trimmed;
    for (const auto& [key, values] : fields)
        for (const TagLib::String& value : values)
            if (!value.stripWhiteSpace().isEmpty()) trimmed[key].append(value.stripWhiteSpace());
    return trimmed;
}

std::string Number(unsigned value) {
    return value ? std::to_string(value) : std::string();
}

// The text fields a RIFF INFO list carries, each from the first tag that has it. INFO declares no
// character set: its values are UTF-8, as the common media frameworks write and read them; the id3
// chunk says for itself how it is written.
std::vector<std::pair<std::string, std::string>> InfoFields(const std::vector<const TagLib::Tag*>& tags) {
    using TGetter = std::string (*)(const TagLib::Tag&);
    static const std::pair<const char*, TGetter> fields[] = {
        {"INAM", [](const TagLib::Tag& t) { return Utf8(t.title()); }},
        {"IART", [](const TagLib::Tag& t) { return Utf8(t.artist()); }},
        {"IPRD", [](const TagLib::Tag& t) { return Utf8(t.album()); }},
        {"ITRK", [](const TagLib::Tag& t) { return Number(t.track()); }},
        {"ICRD", [](const TagLib::Tag& t) { return Number(t.year()); }},
        {"IGNR", [](const TagLib::Tag& t) { return Utf8(t.genre()); }},
        {"ICMT", [](const TagLib::Tag& t) { return Utf8(t.comment()); }},
    };
    std::vector<std::pair<std::string, std::string>> info;
    for (const auto& [id, get] : fields)
        for (const TagLib::Tag* tag : tags)
            if (std::string value = get(*tag); !value.empty()) {
                info.emplace_back(id, std::move(value));
                break;
            }
    return info;
}

// The picture's type by its first bytes, as an ID3v2 picture frame names it.
TagLib::String MimeType(const TagLib::ByteVector& picture) {
    if (picture.startsWith(TagLib::ByteVector("\xFF\xD8\xFF", 3))) return "image/jpeg";
    if (picture.startsWith("\x89PNG")) return "image/png";
    if (picture.startsWith("GIF8")) return "image/gif";
    return "image/";
}

// APEv2 keeps a cover as a binary item: a file name, a NUL, then the picture.
void AddApeCovers(const TagLib::APE::Tag& ape, TagLib::ID3v2::Tag& built) {
    using TPicture = TagLib::ID3v2::AttachedPictureFrame;
    static const std::pair<const char*, TPicture::Type> covers[] = {
        {"COVER ART (FRONT)", TPicture::FrontCover}, {"COVER ART (BACK)", TPicture::BackCover}};
    for (const auto& [key, type] : covers) {
        const auto item = ape.itemListMap().find(key);
        if (item == ape.itemListMap().end()) continue;
        const TagLib::ByteVector value = item->second.binaryData();
        const int end = value.find('\0');
        if (end < 0 || static_cast<unsigned>(end) + 1 >= value.size()) continue;
        auto* frame = new TPicture;
        frame->setType(type);
        frame->setPicture(value.mid(end + 1));
        frame->setMimeType(MimeType(frame->picture()));
        built.addFrame(frame);
    }
}

std::vector<std::uint8_t> Bytes(const TagLib::ByteVector& data) {
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

constexpr char Id3v2Unsynchronised = char(0x80);
constexpr char Id3v2ExtendedHeader = 0x40;

// The tag with its extended header taken out, which TagLib misreads (the 2.3 form's size is taken
// for the 2.4 form's, and the 2.4 form's is counted twice): the same frames after a plain header.
// Empty when the extended header claims more than the tag holds.
TagLib::ByteVector WithoutExtendedHeader(const TagLib::ByteVector& tag) {
    const int version = tag[3];
    if (version < 3 || !(tag[5] & Id3v2ExtendedHeader)) return tag;
    const unsigned body = TagLib::ID3v2::SynchData::toUInt(tag.mid(6, 4));
    const unsigned extended =
        version == 3 ? tag.toUInt(10U, true) + 4 : TagLib::ID3v2::SynchData::toUInt(tag.mid(10, 4));
    if (tag.size() < 14 || extended > body) return {};
    TagLib::ByteVector plain = tag.mid(0, 6);
    plain[5] = static_cast<char>(tag[5] & ~Id3v2ExtendedHeader);
    plain.append(TagLib::ID3v2::SynchData::fromUInt(body - extended));
    plain.append(tag.mid(10 + extended));
    return plain;
}

// TagLib's reading of a frame header, which it keeps for frames and their subclasses.
struct TFrameHeaderOf : TagLib::ID3v2::Frame {
    using TagLib::ID3v2::Frame::Header;
};

// True when each frame ends inside the tag. TagLib keeps the frames before one that runs past the
// end and drops it and all after it in silence; the tag is then damaged.
bool FramesFitTheTag(const TagLib::ByteVector& plain) {
    const unsigned version = static_cast<unsigned char>(plain[3]);
    TagLib::ByteVector body = plain.mid(10, TagLib::ID3v2::SynchData::toUInt(plain.mid(6, 4)));
    // Before 2.4 the whole tag is unsynchronised, frame headers included.
    if (version < 4 && (plain[5] & Id3v2Unsynchronised)) body = TagLib::ID3v2::SynchData::decode(body);
    const unsigned headerBytes = TFrameHeaderOf::Header::size(version);
    for (unsigned at = 0; at + headerBytes <= body.size() && body[at] != 0;) {
        const TFrameHeaderOf::Header header(body.mid(at, headerBytes), version);
        if (header.frameSize() == 0) break; // TagLib stops here as at padding
        at += headerBytes + header.frameSize();
        if (at > body.size()) return false;
    }
    return true;
}

// A TagLib reading of tag bytes held in memory.
class TTagCopy {
public:
    explicit TTagCopy(const TagLib::ByteVector& bytes)
        : FBytes(bytes), FStream(FBytes), FFile(&FStream, TagLib::ID3v2::FrameFactory::instance(), false) {}
    TagLib::ID3v2::Tag* Tag() { return FFile.hasID3v2Tag() ? FFile.ID3v2Tag() : nullptr; }

private:
    TagLib::ByteVector FBytes;
    TagLib::ByteVectorStream FStream;
    TagLib::MPEG::File FFile;
};

class TTagReader {
public:
    TTagReader(TByteSource& source, const std::string& inputName)
        : FSource(source), FName(inputName), FStream(source, MaxTagBytes),
          FFile(&FStream, TagLib::ID3v2::FrameFactory::instance(), false) {}

    TSourceTags Read() {
        std::vector<const TagLib::Tag*> readable;
        if (FFile.hasID3v2Tag()) KeepId3v2(readable);
        TagLib::PropertyMap fields;
        const bool ape = FFile.hasAPETag() && ApeReadable();
        if (ape) {
            readable.push_back(FFile.APETag());
            fields = FFile.APETag()->properties();
        }
        if (FFile.hasID3v1Tag()) {
            readable.push_back(FFile.ID3v1Tag());
            for (const auto& [key, values] : FFile.ID3v1Tag()->properties())
                if (!fields.contains(key)) fields.insert(key, values);
        }
        if (FTags.Id3v2.empty()) {
            TagLib::ID3v2::Tag built;
            built.setProperties(Trimmed(fields));
            if (ape) AddApeCovers(*FFile.APETag(), built);
            if (!built.frameList().isEmpty()) FTags.Id3v2 = Bytes(built.render(TagLib::ID3v2::v4));
        }
        FTags.Info = InfoFields(readable);
        return std::move(FTags);
    }

private:
    void Warn(const std::string& tag, const std::string& what) {
        FTags.Warnings.push_back("warning: the " + tag + " tag of input file \"" + FName + "\" " + what +
                                 "; it is left out of the WAV file");
    }

    // The tag as the source holds it, every frame and picture as it is, in any version; one found
    // past other bytes is written anew as ID3v2.4 from what TagLib read of it.
    void KeepId3v2(std::vector<const TagLib::Tag*>& readable) {
        TagLib::ID3v2::Tag* tag = FFile.ID3v2Tag();
        // The leading tag's own size: TagLib counts the tags stacked after it as its padding.
        std::uint8_t head[10] = {};
        const std::uint64_t size =
            FSource.ReadAt(0, head, sizeof head) == sizeof head ? Id3v2TagSize(head, sizeof head) : 0;
        const bool atStart = size > 0;
        if (std::max<std::uint64_t>(size, tag->header()->completeTagSize()) > MaxTagBytes)
            return Warn("ID3v2", "is larger than 16 MiB");
        if (!atStart) {
            if (tag->frameList().isEmpty()) return Warn("ID3v2", "holds no frame that can be read");
            FTags.Id3v2 = Bytes(tag->render(TagLib::ID3v2::v4));
            readable.push_back(tag);
            return;
        }
        TagLib::ByteVector raw(static_cast<unsigned>(size), '\0');
        if (FSource.ReadAt(0, raw.data(), raw.size()) != raw.size())
            return Warn("ID3v2", "is cut off by the end of the file");
        // The fields come from a reading that TagLib gets right; the bytes stay the source's.
        const TagLib::ByteVector plain = WithoutExtendedHeader(raw);
        if (plain != raw) {
            FCopy = std::make_unique<TTagCopy>(plain);
            tag = FCopy->Tag();
        }
        if (!tag || tag->frameList().isEmpty()) return Warn("ID3v2", "holds no frame that can be read");
        if (!FramesFitTheTag(plain)) return Warn("ID3v2", "holds a frame that runs past its end");
        FTags.Id3v2 = Bytes(raw);
        // Some readers read the tag's size in bytes after its extended header, as far past the
        // tag as that header is long: they find zeros there, as padding.
        FTags.Id3v2.resize(FTags.Id3v2.size() + raw.size() - plain.size());
        readable.push_back(tag);
        std::uint8_t next[10] = {};
        if (FSource.ReadAt(size, next, sizeof next) == sizeof next && Id3v2TagSize(next, sizeof next))
            FTags.Warnings.push_back("warning: input file \"" + FName +
                                     "\" holds a second ID3v2 tag after the first; the second is left out "
                                     "of the WAV file");
    }

    // Every item the footer counts was read.
    bool ApeReadable() {
        const TagLib::APE::Tag* tag = FFile.APETag();
        if (tag->footer()->completeTagSize() > MaxTagBytes) {
            Warn("APEv2", "is larger than 16 MiB");
            return false;
        }
        if (tag->itemListMap().size() != tag->footer()->itemCount()) {
            Warn("APEv2", "cannot be read");
            return false;
        }
        return true;
    }

    TByteSource& FSource;
    std::string FName;
    TTagStream FStream;
    TagLib::MPEG::File FFile;
    std::unique_ptr<TTagCopy> FCopy; // a copy of the leading tag that TagLib reads right
    TSourceTags FTags;
};

// Standard error carries the decoder's own lines only.
class TQuietListener : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String&) override {}
};

} // namespace

TSourceTags ReadSourceTags(TByteSource& source, const std::string& inputName) {
    static TQuietListener quiet;
    TagLib::setDebugListener(&quiet);
    return TTagReader(source, inputName).Read();
}
