#include "decoder/tags.h"

#include "decoder/tagstream.h"

#include <taglib/apefooter.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tpropertymap.h>

#include <cstring>

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

// The text fields a RIFF INFO list carries, each from the first tag that has it.
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

    // The tag as the source holds it, every frame and picture as it is; one in the old 2.2 form, or
    // found past other bytes, is written anew as ID3v2.4 from what TagLib read of it.
    void KeepId3v2(std::vector<const TagLib::Tag*>& readable) {
        TagLib::ID3v2::Tag* tag = FFile.ID3v2Tag();
        const std::uint64_t size = tag->header()->completeTagSize();
        if (size > MaxTagBytes) return Warn("ID3v2", "is larger than 16 MiB");
        if (tag->frameList().isEmpty()) return Warn("ID3v2", "holds no frame that can be read");
        char start[3] = {};
        const bool atStart = FSource.ReadAt(0, start, 3) == 3 && std::memcmp(start, "ID3", 3) == 0;
        if (atStart && tag->header()->majorVersion() >= 3) {
            std::vector<std::uint8_t> raw(size);
            if (FSource.ReadAt(0, raw.data(), raw.size()) != raw.size())
                return Warn("ID3v2", "is cut off by the end of the file");
            FTags.Id3v2 = std::move(raw);
        } else {
            FTags.Id3v2 = Bytes(tag->render(TagLib::ID3v2::v4));
        }
        readable.push_back(tag);
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
