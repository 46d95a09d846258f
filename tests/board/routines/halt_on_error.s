; A handler that sets HaltOnError and then the error flag: the CPU halts.
        sethalterr
        seterr
        ldc     1
