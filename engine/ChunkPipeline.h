#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "engine/WaitGate.h"
#include "fileio/OwnedHandle.h"

class MappedFileReader;

// Reads an open file front to back in chunks for one consumer thread. A
// prefetch thread maps and copies the next stretch of kChunksPerRead chunks
// into the second of two buffers while the consumer works through the
// current one, so the reader's cost runs beside the consumer's instead of
// in series with it; reading several chunks per view keeps the mapping
// calls, and what they cost the consumer's processor, few. Chunks arrive in
// file order, one at a time, each with the file position after it; the end
// of the file (or a failed read: the reader's position then stays short of
// its size and LastError holds the code) ends the chunks. While the pipeline runs, the
// reader belongs to the prefetch thread; Stop (or the destructor) ends that
// thread and waits for it, after which the reader is the caller's again.
// Where no thread can be made, the chunks are read in line, one at a time.
class ChunkPipeline {
 public:
  struct Chunk {
    const BYTE* pData;
    DWORD dwLength;
    ULONGLONG qwPosition;  // the reader's position after this chunk
  };

  ChunkPipeline(MappedFileReader& reader, DWORD dwChunkSize);
  virtual ~ChunkPipeline();

  ChunkPipeline(const ChunkPipeline&) = delete;
  ChunkPipeline& operator=(const ChunkPipeline&) = delete;

  static const DWORD kChunksPerRead = 4;

  // Allocates the two read buffers with pfnAllocate (freed with HeapFree)
  // and starts reading ahead; false when a buffer cannot be had.
  bool Start(void* (*pfnAllocate)(SIZE_T));
  // The next chunk, waiting for its read if need be (a buffer is handed
  // back once all its chunks have been taken); false at the end of the file
  // or after a failed read.
  bool Next(Chunk* pChunk);
  // Ends the prefetch thread, waits for it and frees the buffers; no chunk
  // is handed out after it. Safe to call again.
  void Stop();

  // Whether the next call to Next hands the buffer of the newest read back
  // (all its chunks have been taken): a consumer that lends chunks to other
  // threads waits for them before that call.
  bool NextHandsBack() const {
    return m_nTaken != 0 && m_dwHandedOut == m_slots[(m_nTaken - 1) % 2].dwLength;
  }

  bool IsPrefetching() const { return m_thread.Get() != nullptr; }

  // Test seam: thread creation (CreateThread in the program).
  static HANDLE(WINAPI* s_pfnCreateThread)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE,
                                           LPVOID, DWORD, LPDWORD);

 private:
  struct HeapFreer {
    void operator()(BYTE* p) const { ::HeapFree(::GetProcessHeap(), 0, p); }
  };
  using Buffer = std::unique_ptr<BYTE, HeapFreer>;

  struct Slot {
    DWORD dwLength = 0;
    ULONGLONG qwPosition = 0;
  };

  static DWORD WINAPI PrefetchProc(LPVOID pParam);
  void Prefetch();
  void ReadInto(unsigned nIndex);

  MappedFileReader& m_reader;
  const DWORD m_dwChunkSize;
  const DWORD m_dwReadSize;  // kChunksPerRead chunks
  Buffer m_buffers[2];
  Slot m_slots[2];
  unsigned m_nTaken = 0;                 // reads handed to the consumer
  DWORD m_dwHandedOut = 0;               // bytes of the newest read given as chunks
  std::atomic<unsigned> m_nFilled{0};    // reads done (prefetch thread)
  std::atomic<unsigned> m_nReturned{0};  // reads the consumer is done with
  std::atomic<int> m_bCancel{0};
  bool m_bEnded = false;
  WaitGate m_chunkReady;  // the consumer waits here for a filled chunk
  WaitGate m_slotFree;    // the prefetch thread waits here for a free buffer
  OwnedHandle m_thread;
};
