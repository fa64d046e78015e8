// Sound and media: TSound holds a whole wave file image in a memory block
// and plays it from memory; TMediaPlayer drives one media file through the
// media control stand-in, optionally a temporary copy of a stream's data.
//
// The sound record, inside any stream, is the wave image itself with no
// length of its own: "RIFF", the size of the rest, "WAVE", chunks.
//
// What always holds for a TSound:
//   1. State 1 exactly when Wave holds a valid image: longer than 16 bytes,
//      "RIFF" at 0-3 and "WAVEfmt" at 8-14. Otherwise State says why: 0
//      empty, -1 no data or no memory, -2 the stream failed while reading,
//      -3 not a wave.
//   2. The reader takes exactly the image's own length (the RIFF size + 8),
//      bounded by the stream's end (a wave cut short there has its size
//      field set to what was kept), never "the rest of the stream", since
//      sounds also stand in the middle of stored documents; bytes that do
//      not begin with "RIFF" are taken to the end (and give -3).
//   3. Write writes exactly the bytes read, so a record never grows from one
//      save to the next.
//
// What always holds for a TMediaPlayer:
//   4. IsOpen and DeviceId change only when the device accepted the command;
//      every command's result stays in LastError.
//   5. A temporary file made by LoadStream belongs to the player: it is
//      deleted when the player goes or a later LoadStream replaces it, after
//      the device that may play it is closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace kxobject {

class TSound : public TKxObject {
 public:
  TSound() = default;
  explicit TSound(TKxStream& stream);
  TSound(const TSound& other);
  TSound& operator=(const TSound&) = delete;

  bool IsWave() const;
  uint32_t GetSize() const { return Wave ? Wave->Size : 0; }
  // Plays synchronously; false unless State is 1 and the sound played.
  bool Play() const;
  // 0, -1 when there is nothing to write, -2 when the stream failed.
  int Write(TKxStream& stream) const;

  int16_t State = 0;
  std::unique_ptr<TMemoryBlock> Wave;
};

class TMediaPlayer {
 public:
  TMediaPlayer() = default;
  ~TMediaPlayer();
  TMediaPlayer(const TMediaPlayer&) = delete;
  TMediaPlayer& operator=(const TMediaPlayer&) = delete;

  void SetFileName(const char* name);
  void SetWait(bool wait) { Wait = wait; }
  void Open();
  void Close();
  void Play();
  void Stop();
  void Pause();
  // A device that refuses to resume is sent Play instead.
  void Resume();
  void TogglePause();
  // The mode: 0 not ready, 1 stopped, 2 playing, 3 recording, 4 seeking,
  // 5 paused, 6 open (0 when the device does not answer).
  int GetMode();
  void SetWindow(uint32_t window);
  // Copies the rest of the stream into a temporary ".WAV" file that becomes
  // the player's file (rule 5); the device is not opened.
  void LoadStream(TKxStream& stream);

  std::string FileName;  // empty: none
  bool IsOpen = false;
  uint32_t DeviceId = 0;
  uint32_t LastError = 0;
  bool Wait = false;
  bool DeleteFile = false;

 private:
  void DropTemporaryFile();
};

}  // namespace kxobject
