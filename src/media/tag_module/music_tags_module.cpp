// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/music_tags.h"

#include <apetag.h>
#include <cerrno>
#include <fileref.h>
#include <id3v1tag.h>
#include <id3v2tag.h>
#include <infotag.h>
#include <mpegfile.h>
#include <exception>
#include <textidentificationframe.h>
#include <tfilestream.h>
#include <tpropertymap.h>
#include <type_traits>
#include <wavfile.h>

// The music module: the only code that touches TagLib, loaded by the program on first use.

namespace media {

namespace {

QString fromTagLib(const TagLib::String& text)
{
    return QString::fromStdWString(text.toWString());
}

TagValue unicodeValue(const TagLib::String& text)
{
    return TagValue{fromTagLib(text), false};
}

// The text of an ID3v2 text frame, and whether it was written as ISO-8859-1.
std::optional<TagValue> id3v2Value(const TagLib::ID3v2::Tag* tag, const char* frameId)
{
    if (!tag)
        return std::nullopt;
    const TagLib::ID3v2::FrameList& frames = tag->frameListMap()[frameId];
    if (frames.isEmpty())
        return std::nullopt;
    const auto* frame = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames.front());
    if (!frame)
        return std::nullopt;
    TagValue value{fromTagLib(frame->toString()), frame->textEncoding() == TagLib::String::Latin1};
    if (value.text.trimmed().isEmpty())
        return std::nullopt;
    return value;
}

// The first of ID3v2, APE and ID3v1 that holds the value, as TagLib itself ranks them.
TagValue mpegValue(TagLib::MPEG::File& file, const char* frameId, const char* apeKey,
                   TagLib::String (TagLib::Tag::*field)() const)
{
    if (auto value = id3v2Value(file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr, frameId))
        return *value;
    if (file.hasAPETag()) {
        const TagLib::APE::ItemListMap& items = file.APETag()->itemListMap();
        const auto item = items.find(apeKey);
        if (item != items.end() && !item->second.toString().isEmpty())
            return unicodeValue(item->second.toString());
    }
    if (field && file.hasID3v1Tag())
        return TagValue{fromTagLib((file.ID3v1Tag()->*field)()), true};
    return {};
}

void readMpegTags(TagLib::MPEG::File& file, TrackTags& tags)
{
    tags.title = mpegValue(file, "TIT2", "TITLE", &TagLib::Tag::title);
    tags.artist = mpegValue(file, "TPE1", "ARTIST", &TagLib::Tag::artist);
    tags.album = mpegValue(file, "TALB", "ALBUM", &TagLib::Tag::album);
    tags.albumArtist = mpegValue(file, "TPE2", "ALBUM ARTIST", nullptr);
}

// A WAV file keeps its tags in an ID3v2 chunk or in the RIFF INFO list; TagLib's joined view of the two shows
// neither when the ID3v2 chunk is missing, so each is asked in turn.
void readWavTags(TagLib::RIFF::WAV::File& file, TrackTags& tags)
{
    const TagLib::ID3v2::Tag* id3v2 = file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr;
    const TagLib::RIFF::Info::Tag* info = file.hasInfoTag() ? file.InfoTag() : nullptr;
    const auto value = [&](const char* frameId, TagLib::String (TagLib::Tag::*field)() const) {
        if (auto found = id3v2Value(id3v2, frameId))
            return *found;
        return info && field ? unicodeValue((info->*field)()) : TagValue{};
    };
    tags.title = value("TIT2", &TagLib::Tag::title);
    tags.artist = value("TPE1", &TagLib::Tag::artist);
    tags.album = value("TALB", &TagLib::Tag::album);
    tags.albumArtist = value("TPE2", nullptr);
}

void readOtherTags(const TagLib::FileRef& ref, TrackTags& tags)
{
    const TagLib::Tag* tag = ref.tag();
    if (!tag)
        return;
    tags.title = unicodeValue(tag->title());
    tags.artist = unicodeValue(tag->artist());
    tags.album = unicodeValue(tag->album());
    const TagLib::PropertyMap properties = ref.file()->properties();
    const auto albumArtist = properties.find("ALBUMARTIST");
    if (albumArtist != properties.end() && !albumArtist->second.isEmpty())
        tags.albumArtist = unicodeValue(albumArtist->second.front());
}

void readTags(const char* path, MusicTagFacts& facts)
{
    using Outcome = MusicTagFacts::Outcome;
    // Opened for reading only: TagLib's own file opening would ask for writing first.
    errno = 0;
    TagLib::FileStream stream(path, true);
    if (!stream.isOpen()) {
        facts.outcome = Outcome::CannotOpen;
        facts.error = errno ? errno : EACCES;
        return;
    }
    const qint64 size = stream.length();
    if (size <= 0) {
        facts.outcome = Outcome::Empty;
        return;
    }
    const TagLib::FileRef ref(&stream, true, TagLib::AudioProperties::Average);
    if (ref.isNull() || !ref.file()->isValid()) {
        facts.outcome = Outcome::NotMusic;
        return;
    }
    const TagLib::AudioProperties* audio = ref.audioProperties();
    if (!audio || (audio->lengthInMilliseconds() <= 0 && audio->bitrate() <= 0)) {
        facts.outcome = Outcome::NoSound;
        return;
    }

    TrackTags& tags = facts.tags;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file()))
        readMpegTags(*mpeg, tags);
    else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file()))
        readWavTags(*wav, tags);
    else
        readOtherTags(ref, tags);
    if (const TagLib::Tag* tag = ref.tag())
        tags.trackNumber = static_cast<int>(tag->track());
    tags.lengthMs = audio->lengthInMilliseconds();
    tags.bitrateKbps = audio->bitrate();
    tags.sizeBytes = size;
    facts.outcome = Outcome::Read;
}

} // namespace

} // namespace media

// The module's entry: nothing thrown inside crosses into the program.
extern "C" __attribute__((visibility("default"))) void mediatar_read_music_tags_1(const char* path,
                                                                                  media::MusicTagFacts* facts)
{
    static_assert(std::is_same_v<decltype(&mediatar_read_music_tags_1), media::ReadMusicTags>);
    try {
        *facts = media::MusicTagFacts();
        media::readTags(path, *facts);
    } catch (const std::exception& error) {
        facts->outcome = media::MusicTagFacts::Outcome::Failed;
        facts->failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
        facts->outcome = media::MusicTagFacts::Outcome::Failed;
        facts->failure = QStringLiteral("unknown error");
    }
}
