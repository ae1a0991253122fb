// Worker thread and its request/reply handshake.
#include "dshow/am_thread.h"

CAMThread::CAMThread() = default;

CAMThread::~CAMThread() { Close(); }

bool CAMThread::Create() {
  CAutoLock lock(&callLock_);
  if (thread_) return false;
  thread_.reset(::CreateThread(nullptr, 0, &CAMThread::threadStart, this, 0, nullptr));
  return static_cast<bool>(thread_);
}

void CAMThread::Close() {
  if (!thread_) return;
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

DWORD CAMThread::CallWorker(DWORD request) {
  CAutoLock lock(&callLock_);
  if (!thread_) return static_cast<DWORD>(E_FAIL);
  request_ = request;
  requestPending_.Set();
  // The worker may end instead of replying (after an exit request it need not answer).
  HANDLE waits[] = {replied_.handle(), thread_.get()};
  if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
    return static_cast<DWORD>(E_FAIL);
  }
  return reply_;
}

DWORD CAMThread::GetRequest() {
  requestPending_.Wait();
  return request_;
}

bool CAMThread::CheckRequest(DWORD* request) {
  if (::WaitForSingleObject(requestPending_.handle(), 0) != WAIT_OBJECT_0) return false;
  if (request) *request = request_;
  return true;
}

void CAMThread::Reply(DWORD result) {
  reply_ = result;
  requestPending_.Reset();
  replied_.Set();
}

DWORD WINAPI CAMThread::threadStart(void* self) {
  ComApartment apartment(COINIT_MULTITHREADED);
  return static_cast<CAMThread*>(self)->ThreadProc();
}
