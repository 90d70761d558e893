// First-fit pool over a caller's buffer: one circular doubly linked list of blocks laid
// back to back, each a 160-byte header followed by its data.
#include <cstdint>

#include "frnn.h"
#include "tsa_memory.h"

namespace {

constexpr uint32_t kAllocUnit = 64;
// A remainder no larger than a header is handed out with the block rather than split off.
constexpr uint32_t kSplitMin = kFrnnBlockHeaderBytes;
constexpr uint32_t kMallocExtra = 16;

FrnnMempool* PoolOf(void* pvPool) { return static_cast<FrnnMempool*>(pvPool); }

}  // namespace

uint32_t FrnnMempoolInit(const FrnnMempoolParam* pstParam) {
  if (pstParam == nullptr) return FRNN_ERR_NULL;
  // A pool without a buffer would leave every later allocation to fail far from the cause.
  if (pstParam->pubBuffer == nullptr) return FRNN_ERR_NULL;
  if (pstParam->uiSize < kFrnnPoolMinBytes) return FRNN_ERR_ARG;
  if (pstParam->uiSize > 0x7FFFFFFFu) return FRNN_ERR_ARG;  // the end pointer takes the size as signed
  uint8_t* pubBuf = pstParam->pubBuffer;
  FrMemset(pubBuf, 0, kFrnnPoolHeaderBytes);
  FrnnMempool* pstPool = PoolOf(pubBuf);
  pstPool->uiFlag = pstParam->uiFlag;
  pstPool->uiSize = pstParam->uiSize;
  pstPool->pubEnd = pubBuf + static_cast<int32_t>(pstParam->uiSize);
  auto* pstFirst = reinterpret_cast<FrnnMempoolBlock*>(pubBuf + kFrnnPoolHeaderBytes);
  pstPool->pstFirst = pstFirst;
  pstFirst->pubData = pubBuf + kFrnnPoolMinBytes;
  pstFirst->pstPrev = pstFirst;
  pstFirst->pstNext = pstFirst;
  pstFirst->uiSize = pstParam->uiSize - kFrnnPoolMinBytes;
  pstFirst->uiInUse = 0;
  return FRNN_OK;
}

uint32_t FrnnMempoolDestory(void* pvPool) { return pvPool == nullptr ? FRNN_ERR_NULL : FRNN_OK; }

void* NnPoolAlloc(void* pvPool, int32_t siSize, const char* /*pcTag*/, int32_t /*siLine*/) {
  if (pvPool == nullptr || siSize < 1) return nullptr;
  const uint32_t uiNeed = (static_cast<uint32_t>(siSize) + kAllocUnit - 1) & ~(kAllocUnit - 1);
  FrnnMempool* pstPool = PoolOf(pvPool);
  FrnnMempoolBlock* pstFirst = pstPool->pstFirst;
  if (pstFirst == nullptr) return nullptr;
  FrnnMempoolBlock* pstBlk = pstFirst;
  do {
    if (pstBlk->uiInUse == 0 && pstBlk->uiSize >= uiNeed) {
      const uint32_t uiRemain = pstBlk->uiSize - uiNeed;
      if (uiRemain > kSplitMin) {
        auto* pstNew = reinterpret_cast<FrnnMempoolBlock*>(pstBlk->pubData + uiNeed);
        pstNew->pubData = reinterpret_cast<uint8_t*>(pstNew) + kFrnnBlockHeaderBytes;
        pstNew->pstPrev = pstBlk;
        pstNew->pstNext = pstBlk->pstNext;
        pstNew->uiSize = uiRemain - kFrnnBlockHeaderBytes;
        pstNew->uiInUse = 0;
        pstBlk->pstNext->pstPrev = pstNew;
        pstBlk->pstNext = pstNew;
        pstBlk->uiSize = uiNeed;
      }
      pstBlk->uiInUse = 1;
      return pstBlk->pubData;
    }
    pstBlk = pstBlk->pstNext;
  } while (pstBlk != pstFirst);
  return nullptr;
}

void NnPoolFree(void* pvPool, void* pvData) {
  if (pvPool == nullptr || pvData == nullptr) return;
  FrnnMempool* pstPool = PoolOf(pvPool);
  auto* pubData = static_cast<uint8_t*>(pvData);
  // No data pointer lies before the first block's data; anything there would put the
  // header in front of the buffer.
  if (!(static_cast<uint8_t*>(pvPool) + kFrnnPoolMinBytes <= pubData && pubData <= pstPool->pubEnd)) return;
  auto* pstBlk = reinterpret_cast<FrnnMempoolBlock*>(pubData - kFrnnBlockHeaderBytes);
  if (pstBlk->uiInUse == 0) return;
  pstBlk->uiInUse = 0;
  FrnnMempoolBlock* pstNext = pstBlk->pstNext;
  if (pstNext->uiInUse == 0 && pstNext > pstBlk) {
    pstBlk->uiSize += pstNext->uiSize + kFrnnBlockHeaderBytes;
    pstBlk->pstNext = pstNext->pstNext;
    pstNext->pstNext->pstPrev = pstBlk;
  }
  FrnnMempoolBlock* pstPrev = pstBlk->pstPrev;
  if (pstPrev->uiInUse == 0 && pstPrev < pstBlk) {
    pstPrev->pstNext = pstBlk->pstNext;
    pstBlk->pstNext->pstPrev = pstPrev;
    pstPrev->uiSize += pstBlk->uiSize + kFrnnBlockHeaderBytes;
  }
}

void* FrnnMempoolMalloc(void* pvPool, int32_t siSize) {
  // The extra bytes are always added; a request that would overflow is refused.
  if (siSize > INT32_MAX - static_cast<int32_t>(kMallocExtra)) return nullptr;
  return NnPoolAlloc(pvPool, siSize + static_cast<int32_t>(kMallocExtra), __func__, __LINE__);
}

void FrnnMempoolFree(void* pvPool, void* pvData) { NnPoolFree(pvPool, pvData); }

uint32_t FrBaseLibMempoolInit(const FrnnMempoolParam* pstParam) { return FrnnMempoolInit(pstParam); }
uint32_t FrBaseLibMempoolDestory(void* pvPool) { return FrnnMempoolDestory(pvPool); }
void* FrBaseLibMempoolMalloc(void* pvPool, int32_t siSize) { return FrnnMempoolMalloc(pvPool, siSize); }
void FrBaseLibMempoolFree(void* pvPool, void* pvData) { FrnnMempoolFree(pvPool, pvData); }
