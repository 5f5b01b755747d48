#include "engine/source_tags.h"

#include <array>
#include <string>

namespace moskvid {

namespace {

// Each carried tag with the other spellings demuxers leave as they found them.
struct TagNames {
  const char* Key;
  std::array<const char*, 3> Names;
};
constexpr TagNames kNames[] = {
    {"title", {"title"}},
    {"artist", {"artist", "author"}},
    {"album_artist", {"album_artist", "albumartist", "album artist"}},
    {"album", {"album"}},
    {"track", {"track"}},
    {"disc", {"disc"}},
    {"date", {"date", "year"}},
    {"genre", {"genre"}},
    {"composer", {"composer"}},
    {"comment", {"comment", "description"}},
};
constexpr std::array<const char*, 3> kTrackTotal{"tracktotal", "totaltracks"};
constexpr std::array<const char*, 3> kDiscTotal{"disctotal", "totaldiscs"};

// The first of `names` that the container or else the stream has.
const char* Lookup(const AVDictionary* container, const AVDictionary* stream,
                   const std::array<const char*, 3>& names) {
  for (const AVDictionary* tags : {container, stream}) {
    for (const char* name : names) {
      if (!name) break;
      const AVDictionaryEntry* entry = ff::av_dict_get(tags, name, nullptr, 0);
      if (entry && entry->value[0] != '\0') return entry->value;
    }
  }
  return nullptr;
}

}  // namespace

DictionaryPtr SourceTags(const AVFormatContext* context, int audioStream) {
  const AVDictionary* container = context->metadata;
  const AVDictionary* stream = nullptr;
  if (audioStream >= 0 && audioStream < static_cast<int>(context->nb_streams)) {
    stream = context->streams[audioStream]->metadata;
  }
  AVDictionary* tags = nullptr;
  for (const TagNames& names : kNames) {
    const char* value = Lookup(container, stream, names.Names);
    if (!value) continue;
    std::string text = value;
    const std::string key = names.Key;
    if ((key == "track" || key == "disc") && text.find('/') == std::string::npos) {
      if (const char* total = Lookup(container, stream, key == "track" ? kTrackTotal : kDiscTotal))
        text += std::string("/") + total;
    }
    ff::av_dict_set(&tags, names.Key, text.c_str(), 0);
  }
  return DictionaryPtr(tags);
}

}  // namespace moskvid
