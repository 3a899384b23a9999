set(MSISTUB_EXTRACT_PORTABLE_SOURCES)
set(MSISTUB_EXTRACT_WINDOWS_SOURCES
  src/extract/chunk_writer.cpp
  src/extract/file_lock.cpp
  src/extract/destination.cpp
  src/extract/browse_folder.cpp
  src/extract/progress_dialog.cpp
  src/extract/taskbar_progress.cpp)
