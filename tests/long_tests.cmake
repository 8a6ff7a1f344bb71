# ctest starts the tests it expects to take longest first, so both cores stay
# busy to the end of a parallel run. A fresh build knows no times of its own:
# the longest tests carry their last measured seconds (sanitizer build, where
# the order matters most). A name not found here is passed over.
set_tests_properties(VideoRun.EveryCodeOfTheCodecListConvertsAnOddSizedVideo PROPERTIES COST 84)
set_tests_properties(MediaRun.EveryListedCodeConvertsATurnedClipAtAnOddSizeAndOthersAreRefused PROPERTIES COST 51)
set_tests_properties(VideoRun.DragAndDropAsksForTheCodecOnTheFirstFrame PROPERTIES COST 43)
set_tests_properties(MediaRun.UprightInStepWithTheSoundUntouchedInTheContainerOfItsKind PROPERTIES COST 37)
set_tests_properties(SoundRun.ALameThatHangsLingersOrFloodsIsBounded PROPERTIES COST 35)
set_tests_properties(VideoRun.TheCodecChooserOnADesktopIsZenitysList PROPERTIES COST 28)
set_tests_properties(NothingLost.ASignalTheCallerIgnoresLetsTheRunFinish PROPERTIES COST 24)
set_tests_properties(Inflate.RandomBytesBehaveAsTheTreeWalk PROPERTIES COST 18)
set_tests_properties(WildAvi.EverySoundTrackIsCarriedAsItIs PROPERTIES COST 17)
set_tests_properties(ExitStatus.EveryWayARunEndsHasItsStatus PROPERTIES COST 16)
set_tests_properties(HostileAvi.EachFaultEndsAsItShould PROPERTIES COST 11)
set_tests_properties(SoundRun.DragAndDropAsksAboutAnUnknownCompressionBeforeTheFrames PROPERTIES COST 10)
