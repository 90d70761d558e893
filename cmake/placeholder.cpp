// A deliverable whose sources have not landed yet: the library exists under its fixed
// name and exports nothing.
