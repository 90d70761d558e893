#pragma once
// Stand-in of the secure-processor communication library (libvaultlink): readiness and link
// queries, client registration with a restart callback, shared buffers and the message
// exchange on a channel. Behind it sits a simulated secure processor in this process
// (vaultlink/sim_secproc.h), so requests really travel through the shared buffer.
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum { SP_ALLOC_SUBSYS_HLOS = 0, SP_ALLOC_SUBSYS_TZ = 1 } sp_alloc_subsys_t;

// Shared buffers a message refers to: entry k names the buffer (descriptor) whose address
// replaces the placeholder at byte `offset` of the request. Unused entries have fd -1.
typedef struct {
  int32_t fd;
  uint32_t offset;
} vaultlink_ion_info_entry;
typedef struct {
  vaultlink_ion_info_entry entry[4];
} vaultlink_ion_info_table;

typedef void (*vaultlink_ssr_cb_t)(void);
typedef struct {
  const char* name;          // channel name
  vaultlink_ssr_cb_t ssr_cb; // called on a thread of this library when the processor restarts
} vaultlink_client_reg;

typedef struct vaultlink_client* vaultlink_client_handle;

// 0 when the secure processor is ready within `timeout_s` seconds.
int vaultlink_wait_for_secproc_ready(int timeout_s);
bool vaultlink_is_sp_subsystem_link_up(void);
int vaultlink_create_shareable_channel(const char* name);
vaultlink_client_handle vaultlink_register_client(const vaultlink_client_reg* reg);
bool vaultlink_client_is_server_connected(vaultlink_client_handle handle);
int vaultlink_unregister_client(vaultlink_client_handle handle);

// Sends `req` on the client's channel and waits up to `timeout_ms` for the reply. 0, or a
// negative errno (-110 on time-out, -EINVAL for bad arguments, -EIO when the link failed).
int vaultlink_client_send_modified_command(vaultlink_client_handle handle, const void* req,
                                           size_t req_len, void* rsp, size_t rsp_len,
                                           const vaultlink_ion_info_table* table,
                                           uint32_t timeout_ms);

// Shared memory: `size` bytes mapped for this process (an HLOS buffer) or for the trusted
// environment (a TZ buffer). Returns the mapping and the descriptor in *fd (-1, null on
// failure).
void* vaultlink_ion_alloc_ex(uint32_t size, int* fd, sp_alloc_subsys_t subsys);
void vaultlink_ion_free_ex(void* addr, uint32_t size, int fd, sp_alloc_subsys_t subsys);
// Pins a buffer for a channel's use; unlocking an HLOS buffer also returns its memory.
int vaultlink_lock_ion_buffer(const char* channel, int fd);
int vaultlink_unlock_ion_buffer(const char* channel, int fd);
// Cache maintenance around CPU access to a shared buffer.
int vaultlink_sync_start(int fd);
int vaultlink_sync_end(int fd);

#ifdef __cplusplus
}
#endif
