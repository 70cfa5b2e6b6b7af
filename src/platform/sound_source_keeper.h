#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace vortane::platform {

// Keeps the lesson's sound sources running while the toolbar is ready to record. A sound server
// suspends a source nobody reads, and the monitor of an idle output renders in blocks of seconds:
// a new reader then gets its first sound seconds late, and a lesson started at that moment would
// begin seconds after F8. One reader per source that takes its sound in small blocks and drops it
// keeps both awake, so the encoder's own reader is served at once.
//
// It talks to the server on a thread of its own and never blocks the caller; a server that is
// absent, or goes away, only means nothing is kept until the next Keep().
class SoundSourceKeeper {
 public:
  SoundSourceKeeper();
  ~SoundSourceKeeper();
  SoundSourceKeeper(const SoundSourceKeeper&) = delete;
  SoundSourceKeeper& operator=(const SoundSourceKeeper&) = delete;

  // Keeps the sources whose friendly names are `descriptions`, and the monitor of the default
  // output when `speaker`; lets every other source go. Keep({}, false) lets all go.
  void Keep(const QStringList& descriptions, bool speaker);

  // The server's names of the sources read now (for the trace and the tests).
  QStringList KeptSources() const;

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
};

}  // namespace vortane::platform
