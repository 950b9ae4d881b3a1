# Sourced by the scripts that build and run this tree. QT_VERSION_MAJOR=6 picks Qt 6 instead of
# Qt 5.15, and with it the build folder build-qt6/ (build/ for Qt 5) unless BUILD_DIR names one.
export QT_VERSION_MAJOR=${QT_VERSION_MAJOR:-5}
case $QT_VERSION_MAJOR in
5) export BUILD_DIR=${BUILD_DIR:-build} ;;
6) export BUILD_DIR=${BUILD_DIR:-build-qt6} ;;
*)
    echo "QT_VERSION_MAJOR must be 5 or 6" >&2
    exit 2
    ;;
esac
