#pragma once

#include <windows.h>

#include <atomic>

#include "engine/WaitGate.h"
#include "fileio/MappedFileReader.h"
#include "fileio/OwnedHandle.h"

// Reads an open file front to back in chunks for one consumer thread,
// without copying: the chunks lie in mapped views of the file. A prefetch
// thread maps the views ahead of the consumer and brings their pages in, so
// the cost of the mapping and of the page faults runs beside the consumer's
// work instead of in series with it. Up to kViews views are mapped at once,
// kChunksPerView chunks each: a consumer that lends chunks to other threads
// lets them lag that far behind it. Chunks arrive in file order, one at a
// time, each with the file position after it; the end of the file (or a
// failed read: the reader's position then stays short of its size and
// LastError holds the code) ends the chunks. While the pipeline runs, the
// reader belongs to the prefetch thread; Stop (or the destructor) ends that
// thread and waits for it, after which the reader is the caller's again.
// Where no thread can be made, the views are mapped in line, as needed.
//
// The bytes of a chunk can fault if the file loses pages while they are
// read (its storage went away): they are read under GuardedRead.
class ChunkPipeline {
 public:
  struct Chunk {
    const BYTE* pData;
    DWORD dwLength;
    ULONGLONG qwPosition;  // the reader's position after this chunk
  };

  static constexpr DWORD kChunksPerView = 4;
  static constexpr unsigned kViews = 4;
  // The most chunks handed out and not yet done at any time.
  static constexpr unsigned kChunksInFlight = kChunksPerView * kViews;

  ChunkPipeline(MappedFileReader& reader, DWORD dwChunkSize);
  virtual ~ChunkPipeline();

  ChunkPipeline(const ChunkPipeline&) = delete;
  ChunkPipeline& operator=(const ChunkPipeline&) = delete;

  // Starts reading ahead (in line where no thread can be made).
  void Start();
  // The next chunk, waiting for its view if need be; false at the end of
  // the file or after a failed read. nDone counts the chunks handed out so
  // far that nobody reads any more: the views wholly behind them go back.
  bool Next(Chunk* pChunk, unsigned nDone);
  // The chunks that must be done before the next call to Next, so that it
  // does not wait for a view the consumer itself still holds.
  unsigned DoneBeforeNext() const;
  // Ends the prefetch thread, waits for it and lets the views go; no chunk
  // is handed out after it. Safe to call again.
  void Stop();

  bool IsPrefetching() const { return m_thread.Get() != nullptr; }

  // Test seam: thread creation (CreateThread in the program).
  static HANDLE(WINAPI* s_pfnCreateThread)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE,
                                           LPVOID, DWORD, LPDWORD);

 private:
  struct Slot {
    MappedView view;           // written by the prefetch thread, then read-only
    ULONGLONG qwPosition = 0;  // the reader's position after the view
    unsigned nEndChunk = 0;    // the consumer's count of chunks after it
  };

  static DWORD WINAPI PrefetchProc(LPVOID pParam);
  void Prefetch();
  void MapInto(unsigned nIndex);
  // Hands back the oldest views whose chunks are all done.
  void Release(unsigned nDone);
  bool CurrentUsedUp() const;

  // The newest view taken, as the consumer alone keeps it.
  struct Current {
    const BYTE* pData;
    DWORD dwLength;
    ULONGLONG qwPosition;
  };

  MappedFileReader& m_reader;
  const DWORD m_dwChunkSize;
  Slot m_slots[kViews];
  Current m_current = {};
  unsigned m_nTaken = 0;                 // views handed to the consumer
  unsigned m_nChunks = 0;                // chunks handed out
  DWORD m_dwHandedOut = 0;               // bytes of m_current given as chunks
  std::atomic<unsigned> m_nFilled{0};    // views mapped (prefetch thread)
  std::atomic<unsigned> m_nReturned{0};  // views the consumer is done with
  std::atomic<int> m_bCancel{0};
  bool m_bEnded = false;
  WaitGate m_chunkReady;  // the consumer waits here for a mapped view
  WaitGate m_slotFree;    // the prefetch thread waits here for a free slot
  OwnedHandle m_thread;
};
