# Which of our folders under src/ each folder may include from: the one written copy of the
# table in ARCHITECTURE.md. The build links the folder libraries by it, and
# check_includes.cmake fails the build on an #include it does not allow.
set(brixlane_folders card sim log engine display cli app)
set(brixlane_uses_card "")
set(brixlane_uses_sim card)
set(brixlane_uses_log "")
set(brixlane_uses_engine card log)
set(brixlane_uses_display log engine)
set(brixlane_uses_cli engine log card sim)
set(brixlane_uses_app engine display log card sim)
