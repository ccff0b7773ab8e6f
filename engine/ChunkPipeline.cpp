#include "engine/ChunkPipeline.h"

#include <algorithm>

#include "fileio/MappedFileReader.h"

HANDLE(WINAPI* ChunkPipeline::s_pfnCreateThread)
(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) = ::CreateThread;

ChunkPipeline::ChunkPipeline(MappedFileReader& reader, DWORD dwChunkSize)
    : m_reader(reader), m_dwChunkSize(dwChunkSize), m_dwReadSize(dwChunkSize * kChunksPerRead) {}

ChunkPipeline::~ChunkPipeline() { Stop(); }

bool ChunkPipeline::Start(void* (*pfnAllocate)(SIZE_T)) {
  for (Buffer& buffer : m_buffers) {
    buffer.reset(static_cast<BYTE*>(pfnAllocate(m_dwReadSize)));
    if (!buffer) return false;
  }
  if (!m_chunkReady.Create() || !m_slotFree.Create()) return true;  // read in line
  m_thread.Reset(s_pfnCreateThread(nullptr, 0, &ChunkPipeline::PrefetchProc, this, 0, nullptr));
  return true;
}

DWORD WINAPI ChunkPipeline::PrefetchProc(LPVOID pParam) {
  static_cast<ChunkPipeline*>(pParam)->Prefetch();
  return 0;
}

void ChunkPipeline::ReadInto(unsigned nIndex) {
  Slot& slot = m_slots[nIndex % 2];
  slot.dwLength = m_reader.Read(m_buffers[nIndex % 2].get(), m_dwReadSize);
  slot.qwPosition = m_reader.Position();
}

void ChunkPipeline::Prefetch() {
  for (unsigned n = 0;; ++n) {
    // Read n goes into the buffer of read n - 2, once that one is back.
    m_slotFree.WaitUntil([&] { return m_bCancel.load() != 0 || n - m_nReturned.load() < 2; });
    if (m_bCancel.load() != 0) return;
    ReadInto(n);
    const bool bLast = m_slots[n % 2].dwLength == 0;
    m_nFilled.store(n + 1);
    m_chunkReady.Wake();
    if (bLast) return;
  }
}

bool ChunkPipeline::Next(Chunk* pChunk) {
  if (m_bEnded || !m_buffers[1]) return false;
  if (m_nTaken == 0 || NextHandsBack()) {
    // The newest read is used up: hand its buffer back, take the next read.
    if (m_thread.Get()) {
      if (m_nTaken != 0) {
        m_nReturned.store(m_nTaken);
        m_slotFree.Wake();
      }
      m_chunkReady.WaitUntil([&] { return m_nFilled.load() != m_nTaken; });
    } else {
      ReadInto(m_nTaken);
    }
    ++m_nTaken;
    m_dwHandedOut = 0;
  }
  const unsigned nIndex = (m_nTaken - 1) % 2;
  const Slot& slot = m_slots[nIndex];
  m_bEnded = slot.dwLength == 0;
  if (m_bEnded) return false;
  const DWORD dwLength = std::min(m_dwChunkSize, slot.dwLength - m_dwHandedOut);
  pChunk->pData = m_buffers[nIndex].get() + m_dwHandedOut;
  pChunk->dwLength = dwLength;
  m_dwHandedOut += dwLength;
  pChunk->qwPosition = slot.qwPosition - (slot.dwLength - m_dwHandedOut);
  return true;
}

void ChunkPipeline::Stop() {
  m_bEnded = true;
  if (m_thread.Get()) {
    m_bCancel.store(1);
    m_slotFree.Wake();
    ::WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Reset();
  }
  for (Buffer& buffer : m_buffers) buffer.reset();
}
