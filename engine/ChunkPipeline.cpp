#include "engine/ChunkPipeline.h"

#include <algorithm>

HANDLE(WINAPI* ChunkPipeline::s_pfnCreateThread)
(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) = ::CreateThread;

ChunkPipeline::ChunkPipeline(MappedFileReader& reader, DWORD dwChunkSize)
    : m_reader(reader), m_dwChunkSize(dwChunkSize) {}

ChunkPipeline::~ChunkPipeline() { Stop(); }

void ChunkPipeline::Start() {
  if (!m_chunkReady.Create() || !m_slotFree.Create()) return;  // map in line
  m_thread.Reset(s_pfnCreateThread(nullptr, 0, &ChunkPipeline::PrefetchProc, this, 0, nullptr));
}

DWORD WINAPI ChunkPipeline::PrefetchProc(LPVOID pParam) {
  static_cast<ChunkPipeline*>(pParam)->Prefetch();
  return 0;
}

void ChunkPipeline::MapInto(unsigned nIndex) {
  Slot& slot = m_slots[nIndex % kViews];
  // The slot's old view goes here, on the thread that maps, not the consumer's.
  m_reader.Take(m_dwChunkSize * kChunksPerView, &slot.view);
  slot.qwPosition = m_reader.Position();
}

void ChunkPipeline::Prefetch() {
  for (unsigned n = 0;; ++n) {
    // View n goes into the slot of view n - kViews, once that one is back.
    m_slotFree.WaitUntil([&] { return m_bCancel.load() != 0 || n - m_nReturned.load() < kViews; });
    if (m_bCancel.load() != 0) return;
    MapInto(n);
    const bool bLast = m_slots[n % kViews].view.Length() == 0;
    m_nFilled.store(n + 1);
    m_chunkReady.Wake();
    if (bLast) return;
  }
}

bool ChunkPipeline::CurrentUsedUp() const {
  return m_nTaken == 0 || m_dwHandedOut == m_current.dwLength;
}

void ChunkPipeline::Release(unsigned nDone) {
  unsigned nReturned = m_nReturned.load();
  // The newest view is not given back while it still has chunks to hand out.
  const unsigned nHeld = CurrentUsedUp() ? m_nTaken : m_nTaken - 1;
  const unsigned nFrom = nReturned;
  while (nReturned < nHeld && m_slots[nReturned % kViews].nEndChunk <= nDone) ++nReturned;
  if (nReturned == nFrom) return;
  m_nReturned.store(nReturned);
  if (m_thread.Get()) m_slotFree.Wake();
}

unsigned ChunkPipeline::DoneBeforeNext() const {
  if (!CurrentUsedUp() || m_nTaken - m_nReturned.load() < kViews) return 0;
  return m_slots[m_nReturned.load() % kViews].nEndChunk;
}

bool ChunkPipeline::Next(Chunk* pChunk, unsigned nDone) {
  if (m_bEnded) return false;
  Release(nDone);
  if (CurrentUsedUp()) {
    if (m_nTaken - m_nReturned.load() >= kViews) {
      // The consumer holds every view and asks for another: DoneBeforeNext
      // was not kept. End here, short of the file's end, which fails the run.
      m_bEnded = true;
      return false;
    }
    if (m_thread.Get()) {
      m_chunkReady.WaitUntil([&] { return m_nFilled.load() != m_nTaken; });
    } else {
      MapInto(m_nTaken);
    }
    // The consumer's copy of the view: once its chunks are all out, the
    // slot may go back to the prefetch thread at any time.
    Slot& slot = m_slots[m_nTaken % kViews];
    ++m_nTaken;
    m_dwHandedOut = 0;
    m_current = Current{slot.view.Data(), slot.view.Length(), slot.qwPosition};
    slot.nEndChunk = m_nChunks + (m_current.dwLength + m_dwChunkSize - 1) / m_dwChunkSize;
    if (m_current.dwLength == 0) {
      m_bEnded = true;
      return false;
    }
  }
  const DWORD dwLength = std::min(m_dwChunkSize, m_current.dwLength - m_dwHandedOut);
  pChunk->pData = m_current.pData + m_dwHandedOut;
  pChunk->dwLength = dwLength;
  m_dwHandedOut += dwLength;
  pChunk->qwPosition = m_current.qwPosition - (m_current.dwLength - m_dwHandedOut);
  ++m_nChunks;
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
  for (Slot& slot : m_slots) slot.view.Reset();
}
