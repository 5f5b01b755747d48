// moskvid-cli: the conversion engine for people and scripts without a display.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_common.h"

namespace moskvid::cli {

void PrintUsage() {
  std::cerr
      << "Usage: moskvid-cli COMMAND [ARGS]\n"
         "\n"
         "Commands:\n"
         "  check-libs [--dir DIR] [--plain-names]\n"
         "      Load the media libraries and print each one's file and version.\n"
         "  transcode [--threads N] [--quiet] [--in NAME=VALUE]... INPUT [--out NAME=VALUE]... "
         "OUTPUT\n"
         "      Convert INPUT into OUTPUT with engine options (for example --out vcodec=mpeg4\n"
         "      --out s=320x240 --out acodec=aac --out ab=128000). --threads sets the codec\n"
         "      threads (0, the default: one per core). Ctrl-C stops; a second Ctrl-C exits.\n"
         "  convert [--format N] [--output-dir DIR] [--start HH:MM:SS[.mmm]]\n"
         "          [--length HH:MM:SS[.mmm]] [--crop TOP:BOTTOM:LEFT:RIGHT]\n"
         "          [--zoom lbox|cent|full|orig] [--audio-track N]\n"
         "          [--quality fast|balanced|best] [--threads N] [--jobs N|auto]\n"
         "          [--config FILE] [--quiet|--verbose] [--estimate] FILE...\n"
         "      Convert each file into one of the fourteen device formats with the settings\n"
         "      the desktop application stores; prints each output path. A FOLDER stands\n"
         "      for the media files under it, in natural order. --jobs converts N files\n"
         "      at a time (1, the default: one after another; auto: as many as keep the\n"
         "      cores busy). --audio-track takes the file's N-th sound track (from 1;\n"
         "      without it the track marked default, else the widest). Standard error\n"
         "      shows each file's progress and the warnings and failures that concern it;\n"
         "      --quiet leaves out the progress, --verbose adds the libraries' log\n"
         "      (stream dumps, encoder settings, their warnings). --estimate prints each\n"
         "      file's estimated output size and the total, and converts nothing.\n"
         "      --quality takes the encoder's effort for this run instead of the format's\n"
         "      stored one: fast, balanced (a better picture at the same size) or best\n"
         "      (two passes: the size to the rate and a better picture again).\n"
         "  formats [--config FILE]\n"
         "      List the formats with their container and settings (* marks the stored one).\n"
         "  info FILE...\n"
         "      Describe each file: container, programs, streams, sound tracks (the one\n"
         "      a conversion takes marked) and tags.\n"
         "  snapshot FILE --at SECONDS [--out PATH]\n"
         "      Save the picture at that time as a BMP file, NAME_snapshot.bmp unless\n"
         "      --out names one, and print its name. A taken name is never replaced nor\n"
         "      written through: the first free of its numbered forms (shot.bmp gives\n"
         "      shot_(new_1).bmp, shot_(new_2).bmp, ...) is written instead.\n"
         "  help\n"
         "      Show this text.\n";
}

}  // namespace moskvid::cli

int main(int argc, char** argv) {
  using namespace moskvid::cli;
  if (argc < 2) {
    PrintUsage();
    return kExitUsage;
  }
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "check-libs") return CheckLibsCommand(args);
  if (command == "transcode") return TranscodeCommand(args);
  if (command == "info") return InfoCommand(args);
  if (command == "convert") return ConvertCommand(args);
  if (command == "formats") return FormatsCommand(args);
  if (command == "snapshot") return SnapshotCommand(args);
  if (command == "help" || command == "--help" || command == "-h") {
    PrintUsage();
    return kExitOk;
  }
  std::cerr << "moskvid-cli: unknown command '" << command << "'\n\n";
  PrintUsage();
  return kExitUsage;
}
