#include "app/help.h"

#include <cctype>

#include "platform/media_writer_backend.h"
#include "platform/video_encoders.h"

namespace quarn::app {

void printHelp(platform::Console& console) {
  static const char* const kTexts[] = {
      " quarn - Pomosht\n\n",
      " quarn.exe dulbochina 3D+ cv_opt eventualen_izhod kodek-id\n kachestvo prioritet put_kum_fail\n\n",
      " quarn.exe ?k\n\n",
      " quarn.exe ?\n\n",
      " <dulbochina> - polojitelno chislo opredelqshto 3D dulbochinata na kartinata;\n ako e 0 quarn si go precenq sama\n\n",
      " <3D+> - moje da bude 'da' ili 'ne'; dali quarn da izpolzva opciqta si za\n dopulnitelno dobavqne na 3d usheshtane\n\n",
      " <cv_opt> - mode da bude 'da' ili 'ne'; dali da se izpolzva cvetova optimizaciq\n\n",
      " <eventualen_izhod> - moje da bude 0 (=BMP) ili 1 (=JPEG) - ako konvertirame\n JPEG, HEIC, HEIF, AVIF ili WebP fail mojem da izberem kakuv da bude\n izhodqshtiqt fail\n\n",
      " <kodek-id> - indentifikator ot 4 simvola na kodeka koito da se izpolzva ako\n konvertirame video fail\n\n",
      " <kachestvo> - pri video konvertirane ako e posochen kodek razlichen ot 0000;\n chislo v interval 0-10000\n\n",
      " <prioritet> - bukva koqto opredelq pod kakuv prioritet\n da se startira programata; A - normalen; B - nad normalniq(po podrazbirane ako\n ne izpolzvate konzola); C - visok; D - realno vremevi\n\n",
      " <put_kum_fail> - faila za konvertirane (BMP, PNG, JPEG, TIFF, HEIC, HEIF, AVIF,\n WebP ili AVI)\n\n",
      " Video failove i tehnite rezultati: .mp4 .m4v .3gp .3g2 -> .mp4;\n"
      " .mov .qt -> .mov; .mkv -> .mkv; .webm -> .webm;\n"
      " .mts .m2ts .ts .mpg .mpeg .vob .wmv .asf .flv .ogv -> .mkv\n"
      " (kodek-id: H264, HEVC, AV01, VP90, VP80, FMP4, MJPG, FFV1;\n 0000 - kodekat na vhoda)\n\n",
      " Kogato konvertirate fail vsichki argumenti sa zaduljitelni!!!\n\n",
      " Argument: ?k izkarva na ekrana indentifikatorite na vsichki nalichni kodeci\n",
      " Argument: ?  izkarva tazi pomoshtna informaciq\n\n",
      " Primeri: \n\n",
      " quarn.exe ?\n quarn.exe ?k\n",
      " quarn.exe 15 da da 0 0000 0 B c:\\fail.bmp\n",
      " quarn.exe 0 ne da 1 0000 0 A c:\\fail2.jpg\n",
      " quarn.exe 0 da da 1 0000 0 A c:\\IMG_2231.HEIC\n",
      " quarn.exe 22 da ne 1 iv32 80 C c:\\fail3.avi\n\n",
  };
  for (const char* text : kTexts) console.write(text);
}

void printCodecList(platform::Console& console, const CodecSources& sources) {
  console.write("\n Nalichni sa slednite video kodeci:\n");
  if (sources.named) {
    for (const CodecEntry& entry : *sources.named) {
      if (entry.friendlyName) {
        console.print("\n%s - kod: ", entry.friendlyName->c_str());
      } else {
        console.write("\n");
      }
      if (entry.fourcc) console.write(entry.fourcc->substr(0, 20));
    }
  }
  if (sources.driverNames) {
    console.write("\n");
    for (const std::string& name : *sources.driverNames) {
      // "vidc." in any case, then the four-character code as written. A
      // shorter code cannot be a codec identifier and is not listed.
      if (name.size() < 9 || name[4] != '.') continue;
      std::string head = name.substr(0, 4);
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (head != "vidc") continue;
      console.print("\n[LIPSVA OPISANIE] - kod: %c%c%c%c", name[5], name[6], name[7], name[8]);
    }
  }
  console.write("\nBez Kompresirane - kod: 0000\n\n");
}

void listVideoCodecs(platform::Console& console) {
  CodecSources sources;
  sources.named.emplace();
  sources.driverNames.emplace();
  for (const platform::VideoEncoderEntry& encoder : platform::usableVideoEncoders()) {
    sources.named->push_back({encoder.description, platform::fourCCText(encoder.fourcc)});
    // Further codes take the place of the installed drivers' names.
    for (const uint32_t other : encoder.others) sources.driverNames->push_back("vidc." + platform::fourCCText(other));
  }
  printCodecList(console, sources);
  printMediaCodecLists(console);
}

void printMediaCodecLists(platform::Console& console) {
  using platform::ResultContainer;
  static const struct {
    ResultContainer container;
    const char* inputs;
  } kContainers[] = {
      {ResultContainer::kMp4, ".mp4 .m4v .3gp .3g2"},
      {ResultContainer::kMov, ".mov .qt"},
      {ResultContainer::kMatroska, ".mkv .mts .m2ts .ts .mpg .mpeg .vob .wmv .asf .flv .ogv"},
      {ResultContainer::kWebm, ".webm"},
  };
  for (const auto& c : kContainers) {
    console.print(" Za rezultati %s (ot %s):\n", platform::resultExtension(c.container), c.inputs);
    for (const platform::MediaCodecEntry& e : platform::usableMediaCodecs(c.container)) {
      std::string codes = platform::fourCCText(e.fourcc);
      for (const platform::FourCC other : e.others) codes.append(1, ' ').append(platform::fourCCText(other));
      console.print(" %s - kodove: %s\n", e.description.c_str(), codes.c_str());
    }
    console.write(" Kodekat na vhoda - kodove: 0000\n\n");
  }
}

}  // namespace quarn::app
