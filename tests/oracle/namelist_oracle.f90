! Differential-test oracle for the namelist reader: gfortran's own NAMELIST READ.
!
! Usage: namelist_oracle CASES OUT
! CASES holds test cases, each a header line "nlines" followed by nlines lines of input text. Each
! case's text is written to a scratch file, from which group /cfg/ and then group /aux/ are read
! (the second read only when the first succeeded). For each read one line is written to OUT: the
! sign of IOSTAT (0, -1 or 1) and every variable of the group, integers in decimal, reals as the
! hexadecimal bit patterns of their storage, logicals as T/F, character variables between brackets.
! Every variable starts from a fixed sentinel value, so that variables left unchanged show.
program namelist_oracle
  implicit none
  integer, parameter :: maxlines = 200, maxlen = 4096
  character(len=maxlen) :: lines(maxlines)
  integer :: lens(maxlines)
  integer :: in, out, sc, ios, nl, k, n
  character(len=1024) :: inname, outname
  character(len=16384) :: buf
  integer :: blen

  logical :: flag
  logical :: process(2, 15)
  real(8) :: weight(2, 15)
  integer(4) :: ivec(3)
  integer(4) :: count
  integer(8) :: big
  real(4) :: r4
  real(8) :: r8
  real(16) :: q
  character(len=132) :: title
  character(len=4) :: code
  namelist /cfg/ flag, process, weight, ivec, count, big, r4, r8, q, title, code

  integer(4) :: n_aux
  real(8) :: x_aux
  namelist /aux/ n_aux, x_aux

  call get_command_argument(1, inname)
  call get_command_argument(2, outname)
  open(newunit=in, file=trim(inname), status='old', action='read')
  open(newunit=out, file=trim(outname), status='replace', action='write')
  open(newunit=sc, status='scratch', form='formatted', action='readwrite')
  do
    read(in, *, iostat=ios) nl
    if (ios /= 0) exit
    if (nl > maxlines) stop 'too many lines in a case'
    do k = 1, nl
      lines(k) = ' '
      read(in, '(a)', advance='no', size=n, iostat=ios) lines(k)
      lens(k) = n
    end do
    rewind(sc)
    do k = 1, nl
      write(sc, '(a)') lines(k)(1:lens(k))
    end do
    endfile(sc)
    rewind(sc)
    call run_case()
  end do
  close(sc)
  close(out)

contains

  subroutine run_case()
    integer :: ios1, j, i
    flag = .false.
    do j = 1, 15
      do i = 1, 2
        process(i, j) = mod(i + j, 3) == 0
        weight(i, j) = -1000.25d0 * (i + 2 * j)
      end do
    end do
    ivec = [-71, -72, -73]
    count = -7777
    big = -7777
    r4 = -7777.5
    r8 = -7777.5d0
    q = -7777.5_16
    title = 'ZZZZ'
    code = 'YYYY'
    n_aux = -7777
    x_aux = -7777.5d0

    read(sc, nml=cfg, iostat=ios1)
    blen = 0
    call put_ios(ios1)
    call put_l(flag)
    do j = 1, 15
      do i = 1, 2
        call put_l(process(i, j))
      end do
    end do
    do j = 1, 15
      do i = 1, 2
        call put_d(weight(i, j))
      end do
    end do
    do i = 1, 3
      call put_i(int(ivec(i), 8))
    end do
    call put_i(int(count, 8))
    call put_i(big)
    call put_r(r4)
    call put_d(r8)
    call put_q(q)
    call put_c(title)
    call put_c(code)
    write(out, '(a)') buf(1:blen)
    if (ios1 /= 0) return

    read(sc, nml=aux, iostat=ios1)
    blen = 0
    call put_ios(ios1)
    call put_i(int(n_aux, 8))
    call put_d(x_aux)
    write(out, '(a)') buf(1:blen)
  end subroutine run_case

  subroutine put(t)
    character(len=*), intent(in) :: t
    if (blen > 0) then
      blen = blen + 1
      buf(blen:blen) = ' '
    end if
    buf(blen + 1:blen + len(t)) = t
    blen = blen + len(t)
  end subroutine put

  subroutine put_ios(v)
    integer, intent(in) :: v
    if (v == 0) then
      call put('0')
    else if (v < 0) then
      call put('-1')
    else
      call put('1')
    end if
  end subroutine put_ios

  subroutine put_i(v)
    integer(8), intent(in) :: v
    character(len=24) :: t
    write(t, '(i0)') v
    call put(trim(t))
  end subroutine put_i

  subroutine put_r(v)
    real(4), intent(in) :: v
    character(len=8) :: t
    write(t, '(z8.8)') transfer(v, 0_4)
    call put(t)
  end subroutine put_r

  subroutine put_d(v)
    real(8), intent(in) :: v
    character(len=16) :: t
    write(t, '(z16.16)') transfer(v, 0_8)
    call put(t)
  end subroutine put_d

  subroutine put_q(v)
    real(16), intent(in) :: v
    character(len=32) :: t
    write(t, '(z32.32)') transfer(v, 0_16)
    call put(t)
  end subroutine put_q

  subroutine put_l(v)
    logical, intent(in) :: v
    if (v) then
      call put('T')
    else
      call put('F')
    end if
  end subroutine put_l

  subroutine put_c(v)
    character(len=*), intent(in) :: v
    call put('[' // v // ']')
  end subroutine put_c

end program namelist_oracle
