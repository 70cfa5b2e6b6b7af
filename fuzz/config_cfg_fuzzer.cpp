// config.cfg as the program loads it at start, and the capture command the loaded record leads
// to. The record read back after saving must be the same record.
#include <cstring>

#include "encoder/command_lines.h"
#include "fuzz_input.h"
#include "platform/record_file.h"
#include "settings/capture_settings.h"
#include "settings/setup_choices.h"

using namespace vortane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::ScratchFile file("config.cfg");
  const CaptureSettings settings = LoadCaptureSettingsFrom(file.Write(fuzz::Bytes(data, size)));

  // What the settings dialog and the toolbar read from it.
  const QString folder = settings.SaveFolder();
  const QString video = settings.VideoDevice();
  const QString audio = settings.AudioDevice();
  const QString live = settings.LiveUrl();
  settings.PlatformServer();
  settings.PlatformUser();
  settings.PlatformPassword();
  LastMatchOrFirst(FrameRateChoices(), settings.frameRate);
  LastMatchOrFirst(VideoBitrateChoices(), settings.videoBitrateKbps);
  LastMatchOrFirst(AudioBitrateChoices(), settings.audioBitrateKbps);
  LastWidthMatchOrFirst(OutputSizeChoices(), settings.outputWidth);
  PositionOrFirst(settings.soundSource, static_cast<int>(SoundSourceChoices().size()));
  RemoveTrailingSeparators(folder);

  // The recording and the live push the record asks for.
  const CaptureRegion region{};
  BuildCaptureCommand(video, folder + QStringLiteral("/20240101080000.ts"), audio,
                      QStringLiteral("virtual-audio-capturer"), settings.videoBitrateKbps,
                      settings.audioBitrateKbps, settings.frameRate, settings.outputWidth,
                      settings.outputHeight, 0, settings.noiseReduction, region);
  BuildCaptureCommand(QStringLiteral("screen-capture-recorder"), live, audio, QString(),
                      settings.videoBitrateKbps, settings.audioBitrateKbps, settings.frameRate,
                      settings.outputWidth, settings.outputHeight, settings.fluencyFirst,
                      settings.noiseReduction, region);

  // Saving writes exactly the loaded record.
  CaptureSettings back;
  const std::string stored = EncodeTextMode(&settings, sizeof(settings));
  FUZZ_CHECK(DecodeTextMode(stored, &back, sizeof(back)) == sizeof(back));
  FUZZ_CHECK(std::memcmp(&back, &settings, sizeof(back)) == 0);
  return 0;
}
