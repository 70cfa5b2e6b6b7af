// The uploader's costs on this machine, against the reference platform on 127.0.0.1:
//   - throughput of felwick against curl sending the same file to the same tus upload in one
//     streamed PATCH (target: ratio at least 0.9);
//   - felwick's peak memory for a 64 MB and a 1 GB file (target: bounded, the same for both).
//
//   build/bench/upload_bench        (starts its own reference platform server)
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "../tests/support/measured_run.h"
#include "../tests/support/reference_platform.h"

namespace {

using vortane::test::MeasuredRun;
using vortane::test::RunMeasured;

QString MakeFile(const QTemporaryDir& dir, const char* name, qint64 size) {
  const QString path = dir.filePath(QString::fromLatin1(name));
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.resize(size);
  return path;
}

// curl: creates a tus upload, then sends the whole file in one streamed PATCH.
MeasuredRun CurlUpload(const std::string& server, const QString& path, qint64 size) {
  const MeasuredRun created =
      RunMeasured({"curl", "-s", "-i", "-X", "POST", "-H", "Tus-Resumable: 1.0.0", "-H",
                   "Upload-Length: " + std::to_string(size), server + "/files/?save_as=curl.mp4"});
  const size_t at = created.output.find("Location: ");
  if (at == std::string::npos) return {};
  const std::string location =
      created.output.substr(at + 10, created.output.find('\r', at) - at - 10);
  return RunMeasured({"curl", "-s", "-o", "/dev/null", "-X", "PATCH", "-H", "Tus-Resumable: 1.0.0",
                      "-H", "Upload-Offset: 0", "-H",
                      "Content-Type: application/offset+octet-stream", "-H", "Expect:", "-T",
                      path.toStdString(), server + location});
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("VORTANE_PROGRAM_DIR"))
    qputenv("VORTANE_PROGRAM_DIR", (app.applicationDirPath() + "/../bin").toUtf8());
  const std::string felwick =
      qEnvironmentVariable("VORTANE_PROGRAM_DIR").toStdString() + "/felwick";
  QTemporaryDir store;
  QTemporaryDir work;
  vortane::test::ReferencePlatform server({QStringLiteral("--upload-dir"), store.path()});
  if (server.Address().isEmpty()) {
    std::fprintf(stderr, "upload_bench: the platform server did not start\n");
    return 1;
  }
  const std::string address = server.Address().toStdString();

  const qint64 size = qint64(512) << 20;
  const QString file = MakeFile(work, "lesson.mp4", size);
  double felwickBest = 1e9;
  double curlBest = 1e9;
  for (int round = 0; round < 3; ++round) {
    const MeasuredRun ours =
        RunMeasured({felwick, file.toStdString(),
                     address + "/files/?save_as=f" + std::to_string(round) + ".mp4"});
    const MeasuredRun theirs = CurlUpload(address, file, size);
    if (ours.exitCode != 0 || theirs.exitCode != 0) {
      std::fprintf(stderr, "upload_bench: an upload failed (felwick %d, curl %d)\n", ours.exitCode,
                   theirs.exitCode);
      return 1;
    }
    felwickBest = std::min(felwickBest, ours.seconds);
    curlBest = std::min(curlBest, theirs.seconds);
    QDir(store.path()).removeRecursively();
    QDir().mkpath(store.path());
  }
  const double mb = double(size) / (1 << 20);
  std::printf(
      "throughput, 512 MB to 127.0.0.1 (best of 3): felwick %.0f MB/s, curl %.0f MB/s, "
      "ratio %.2f (target >= 0.9)\n",
      mb / felwickBest, mb / curlBest, curlBest / felwickBest);

  for (const qint64 bytes : {qint64(64) << 20, qint64(1) << 30}) {
    const QString path =
        MakeFile(work, bytes > (qint64(64) << 20) ? "big.mp4" : "small.mp4", bytes);
    const MeasuredRun run =
        RunMeasured({felwick, path.toStdString(), address + "/files/?save_as=m.mp4"});
    std::printf("peak memory of felwick for %lld MB: %ld kB (exit %d)\n",
                static_cast<long long>(bytes >> 20), run.peakKilobytes, run.exitCode);
    QDir(store.path()).removeRecursively();
    QDir().mkpath(store.path());
  }
  return 0;
}
